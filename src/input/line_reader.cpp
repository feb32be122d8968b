#include <algorithm>
#include <cerrno>
#include <cstring>

#include "input/input_stack.h"
#include "platform/platform.h"

namespace kup {

namespace {
constexpr std::size_t kReadBlock = 1 << 15;
}

void LineReader::attach(int fd) {
  fd_ = fd;
  // Zeroed, the slack included, so that what is read past the text was
  // written once.
  if (!buffer_) buffer_ = std::make_unique<char[]>(kReadBlock + kSlack);
  begin_ = end_ = 0;
  at_end_ = failed_ = false;
}

bool LineReader::refill() {
  if (at_end_ || failed_) return false;
  for (;;) {
    const std::ptrdiff_t got = read_bytes(fd_, buffer_.get(), kReadBlock);
    if (got > 0) {
      begin_ = 0;
      end_ = static_cast<std::size_t>(got);
      return true;
    }
    if (got == 0) {
      at_end_ = true;
      return false;
    }
    if (errno != EINTR) {
      failed_ = true;
      return false;
    }
  }
}

bool LineReader::take_line(std::string_view& line, std::size_t max) {
  if (begin_ == end_) return false;
  const char* const from = buffer_.get() + begin_;
  const void* newline = std::memchr(from, '\n', std::min(end_ - begin_, max));
  if (newline == nullptr) return false;
  const std::size_t length = static_cast<std::size_t>(static_cast<const char*>(newline) - from) + 1;
  line = {from, length};
  begin_ += length;
  return true;
}

ReadStatus LineReader::read_piece(std::string& out, std::size_t max) {
  out.clear();
  while (out.size() < max) {
    if (begin_ == end_ && !refill()) break;
    const char* from = buffer_.get() + begin_;
    std::size_t take = std::min(end_ - begin_, max - out.size());
    if (const void* newline = std::memchr(from, '\n', take)) {
      std::size_t length = static_cast<std::size_t>(static_cast<const char*>(newline) - from) + 1;
      out.append(from, length);
      begin_ += length;
      return ReadStatus::Piece;
    }
    out.append(from, take);
    begin_ += take;
  }
  if (!out.empty()) return ReadStatus::Piece;
  return failed_ ? ReadStatus::Error : ReadStatus::End;
}

}  // namespace kup
