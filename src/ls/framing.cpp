#include "ls/framing.h"

#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>

namespace kup::ls {

namespace {

constexpr std::string_view kLengthName = "content-length:";

/// True if the header field `field` is a Content-Length field: its name
/// compared without regard to case.
bool is_length_field(std::string_view field) {
  if (field.size() < kLengthName.size()) return false;
  for (std::size_t i = 0; i < kLengthName.size(); ++i)
    if ((field[i] | 0x20) != kLengthName[i] && !(kLengthName[i] == ':' && field[i] == ':')) return false;
  return true;
}

/// The decimal number that `value` holds between blanks, or -1.
long long length_value(std::string_view value) {
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
  long long number = -1;
  const auto [stop, error] = std::from_chars(value.data(), value.data() + value.size(), number);
  if (error != std::errc{} || stop != value.data() + value.size() || number < 0) return -1;
  return number;
}

/// The value of a Content-Length header field in `header` (the fields
/// without the final empty line), or -1 when there is none or it is no
/// decimal number. Field names are compared without regard to case.
long long content_length(std::string_view header) {
  long long found = -1;
  while (!header.empty()) {
    const std::size_t end = header.find("\r\n");
    const std::string_view field = header.substr(0, end);
    header = end == std::string_view::npos ? std::string_view{} : header.substr(end + 2);
    if (!is_length_field(field)) continue;
    found = length_value(field.substr(kLengthName.size()));
    if (found < 0) return -1;
  }
  return found;
}

}  // namespace

void MessageReader::drop_taken() {
  // The taken bytes are dropped once they are the larger part, so that a
  // long stream neither grows the buffer nor moves it for each message.
  if (begin_ > buffer_.size() / 2) {
    buffer_.erase(0, begin_);
    begin_ = 0;
  }
}

FrameStatus MessageReader::next(std::string& content) {
  const std::string_view unread = std::string_view(buffer_).substr(begin_);
  const std::size_t header_end = unread.find("\r\n\r\n");
  if (header_end == std::string_view::npos) {
    if (unread.size() <= kMaxHeader) return FrameStatus::NeedMore;
    // No end of a header in sight: drop all but what may begin one.
    begin_ = buffer_.size() - 3;
    drop_taken();
    return FrameStatus::BadHeader;
  }
  const long long length = content_length(unread.substr(0, header_end));
  const std::size_t content_begin = header_end + 4;
  if (length < 0 || header_end > kMaxHeader || static_cast<unsigned long long>(length) > kMaxContent) {
    begin_ += content_begin;
    drop_taken();
    return FrameStatus::BadHeader;
  }
  const std::size_t size = static_cast<std::size_t>(length);
  if (unread.size() - content_begin < size) return FrameStatus::NeedMore;
  content.assign(unread.substr(content_begin, size));
  begin_ += content_begin + size;
  drop_taken();
  return FrameStatus::Message;
}

bool write_message(int fd, std::string_view content) {
  const std::string header = "Content-Length: " + std::to_string(content.size()) + "\r\n\r\n";
  iovec parts[2] = {{const_cast<char*>(header.data()), header.size()},
                    {const_cast<char*>(content.data()), content.size()}};
  const ssize_t written = ::writev(fd, parts, 2);
  if (written < 0 && errno != EINTR) return false;
  // What a full pipe or a signal left unwritten.
  std::size_t done = written > 0 ? static_cast<std::size_t>(written) : 0;
  if (done < header.size() && !write_all(fd, std::string_view(header).substr(done))) return false;
  return write_all(fd, content.substr(done > header.size() ? done - header.size() : 0));
}

bool write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

}  // namespace kup::ls
