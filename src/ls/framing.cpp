#include "ls/framing.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>

namespace kup::ls {

namespace {

/// The value of a Content-Length header field in `header` (the fields
/// without the final empty line), or -1 when there is none or it is no
/// decimal number. Field names are compared without regard to case.
long long content_length(std::string_view header) {
  constexpr std::string_view kName = "content-length:";
  long long found = -1;
  while (!header.empty()) {
    const std::size_t end = header.find("\r\n");
    std::string_view field = header.substr(0, end);
    header = end == std::string_view::npos ? std::string_view{} : header.substr(end + 2);
    if (field.size() < kName.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < kName.size() && same; ++i)
      same = (field[i] | 0x20) == kName[i] || (kName[i] == ':' && field[i] == ':');
    if (!same) continue;
    field.remove_prefix(kName.size());
    while (!field.empty() && (field.front() == ' ' || field.front() == '\t')) field.remove_prefix(1);
    while (!field.empty() && (field.back() == ' ' || field.back() == '\t')) field.remove_suffix(1);
    long long value = -1;
    const auto [stop, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (error != std::errc{} || stop != field.data() + field.size() || value < 0) return -1;
    found = value;
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

std::string frame_message(std::string_view content) {
  std::string framed = "Content-Length: " + std::to_string(content.size()) + "\r\n\r\n";
  framed.append(content);
  return framed;
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
