#include "driver/output.h"

#include <cerrno>
#include <cstring>

#include "driver/diagnostics.h"
#include "platform/platform.h"

namespace kup {

OutputState output;

namespace {

/// Writes all of [data, data+size) to fd; 0, or the errno of the failure.
int write_all(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const std::ptrdiff_t done = write_bytes(fd, data, size);
    if (done < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data += done;
    size -= static_cast<std::size_t>(done);
  }
  return 0;
}

/// Writes to standard output unless an earlier write failed, and notes a
/// failure: a closed pipe (EPIPE) apart from every other error.
void write_out(const char* data, std::size_t size) {
  if (output.failed || size == 0) return;
  const int error = write_all(output.out_fd, data, size);
  if (error == 0) return;
  output.failed = true;
  if (error == EPIPE) output.reader_left = true;
}

/// Ends the run at once, quietly and with status 1, when the reader of
/// standard output has gone away: nothing written from now on could
/// reach anyone. After any other write error the run goes on, writing
/// nothing more, and the error is reported when it ends.
void stop_if_reader_left() {
  if (output.reader_left) throw RunEnd{1};
}

/// Empties the buffer in the middle of a run.
void drain() {
  (void)out_flush();
  stop_if_reader_left();
}

}  // namespace

void set_output_fds(int out, int err) {
  output.out_fd = out;
  output.err_fd = err;
}

void out_write(std::string_view text) {
  if (text.size() > kOutBufferSize - output.used) {
    drain();
    if (text.size() >= kOutBufferSize) {
      write_out(text.data(), text.size());
      stop_if_reader_left();
      return;
    }
  }
  std::memcpy(output.buffer + output.used, text.data(), text.size());
  output.used += text.size();
}

void out_put(char c) {
  if (output.used == kOutBufferSize) drain();
  output.buffer[output.used++] = c;
}

char* out_reserve_after_drain(std::size_t n) {
  drain();
  return out_reserve(n);
}

bool out_flush() {
  write_out(output.buffer, output.used);
  output.used = 0;
  return !output.failed;
}

bool out_reader_gone() { return output.reader_left; }

void reset_output() {
  output.used = 0;
  output.failed = false;
  output.reader_left = false;
}

void err_write(std::string_view text) {
  // Standard error is for the user; a failure to write it has nowhere to go.
  (void)write_all(output.err_fd, text.data(), text.size());
}

}  // namespace kup
