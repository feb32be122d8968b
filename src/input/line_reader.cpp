#include <algorithm>
#include <cerrno>
#include <cstring>

#include "input/input_stack.h"
#include "platform/platform.h"

namespace kup {

namespace {

constexpr std::size_t kReadBlock = 1 << 15;

/// The length of the line at `from` within `n` characters, its newline
/// included, or 0 when no newline ends it there.
std::size_t line_length(const char* from, std::size_t n) {
  const void* const newline = std::memchr(from, '\n', n);
  if (newline == nullptr) return 0;
  return static_cast<std::size_t>(static_cast<const char*>(newline) - from) + 1;
}

}  // namespace

void LineStore::append(const char* text, std::size_t n) {
  // Zeroed, the slack included, so that what is read past the line was
  // written once.
  if (!data_) data_ = std::make_unique<char[]>(kMaxReadLine + kReadSlack);
  std::memcpy(data_.get() + size_, text, n);
  size_ += n;
}

void LineReader::attach(int fd) {
  fd_ = fd;
  if (!buffer_) buffer_ = std::make_unique<char[]>(kReadBlock + kReadSlack);
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

/// The rest of next_line, for a line that does not lie whole in the read
/// buffer (no newline ends one there within `max` characters): a piece of
/// `max` characters there, a line that goes on past the buffer's end, or
/// one in the next block read.
ReadStatus LineReader::next_line_elsewhere(std::string_view& line, std::size_t max) {
  max = std::min(max, kMaxReadLine);
  const std::size_t left = end_ - begin_;
  if (left >= max) {
    line = {buffer_.get() + begin_, max};
    begin_ += max;
    return ReadStatus::Piece;
  }
  if (left != 0) return assemble_line(line, max);
  if (!refill()) return failed_ ? ReadStatus::Error : ReadStatus::End;
  // The buffer is not empty now, so this comes back here at most once.
  return next_line(line, max);
}

/// The line that begins with the `left` characters at the end of the read
/// buffer goes on in the next blocks: it is copied together, up to its
/// newline, `max` characters, or the end of the input.
ReadStatus LineReader::assemble_line(std::string_view& line, std::size_t max) {
  assembled_.assign(unread());
  begin_ = end_;
  while (assembled_.size() < max && refill()) {
    const std::size_t take = std::min(end_, max - assembled_.size());
    const std::size_t length = line_length(buffer_.get(), take);
    begin_ = length != 0 ? length : take;
    assembled_.append(buffer_.get(), begin_);
    if (length != 0) break;
  }
  line = assembled_.view();
  return ReadStatus::Piece;
}

ReadStatus LineReader::read_piece(std::string& out, std::size_t max) {
  std::string_view piece;
  const ReadStatus status = next_line(piece, max);
  out.assign(piece);
  return status;
}

}  // namespace kup
