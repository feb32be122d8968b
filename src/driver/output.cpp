#include "driver/output.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace kup {

namespace {

constexpr std::size_t kOutBufferSize = 1 << 16;

int out_fd = 1;
int err_fd = 2;
char out_buffer[kOutBufferSize];
std::size_t out_used = 0;
bool out_failed = false;

/// Writes all of [data, data+size) to fd; false on any error.
bool write_all(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t done = ::write(fd, data, size);
    if (done < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += done;
    size -= static_cast<std::size_t>(done);
  }
  return true;
}

/// Empties the buffer. After a write error nothing more is written: the
/// run goes on and the error is reported when it ends.
void drain() { (void)out_flush(); }

}  // namespace

void set_output_fds(int out, int err) {
  out_fd = out;
  err_fd = err;
}

void out_write(std::string_view text) {
  if (text.size() > kOutBufferSize - out_used) {
    drain();
    if (text.size() >= kOutBufferSize) {
      if (!out_failed && !write_all(out_fd, text.data(), text.size())) out_failed = true;
      return;
    }
  }
  std::memcpy(out_buffer + out_used, text.data(), text.size());
  out_used += text.size();
}

void out_put(char c) {
  if (out_used == kOutBufferSize) drain();
  out_buffer[out_used++] = c;
}

bool out_flush() {
  if (!out_failed && out_used > 0 && !write_all(out_fd, out_buffer, out_used)) out_failed = true;
  out_used = 0;
  return !out_failed;
}

void reset_output() {
  out_used = 0;
  out_failed = false;
}

void err_write(std::string_view text) {
  // Standard error is for the user; a failure to write it has nowhere to go.
  (void)write_all(err_fd, text.data(), text.size());
}

}  // namespace kup
