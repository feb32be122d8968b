#include "driver/output.h"

#include <cerrno>
#include <cstring>

#include "driver/diagnostics.h"
#include "platform/platform.h"

namespace kup {

namespace {

constexpr std::size_t kOutBufferSize = 1 << 16;

int out_fd = 1;
int err_fd = 2;
char out_buffer[kOutBufferSize];
std::size_t out_used = 0;
bool out_failed = false;
bool out_reader_left = false;

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
  if (out_failed || size == 0) return;
  const int error = write_all(out_fd, data, size);
  if (error == 0) return;
  out_failed = true;
  if (error == EPIPE) out_reader_left = true;
}

/// Ends the run at once, quietly and with status 1, when the reader of
/// standard output has gone away: nothing written from now on could
/// reach anyone. After any other write error the run goes on, writing
/// nothing more, and the error is reported when it ends.
void stop_if_reader_left() {
  if (out_reader_left) throw RunEnd{1};
}

/// Empties the buffer in the middle of a run.
void drain() {
  (void)out_flush();
  stop_if_reader_left();
}

}  // namespace

void set_output_fds(int out, int err) {
  out_fd = out;
  err_fd = err;
}

void out_write(std::string_view text) {
  if (text.size() > kOutBufferSize - out_used) {
    drain();
    if (text.size() >= kOutBufferSize) {
      write_out(text.data(), text.size());
      stop_if_reader_left();
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

char* out_reserve(std::size_t n) {
  if (n > kOutBufferSize - out_used) drain();
  return out_buffer + out_used;
}

void out_commit(std::size_t n) { out_used += n; }

bool out_flush() {
  write_out(out_buffer, out_used);
  out_used = 0;
  return !out_failed;
}

bool out_reader_gone() { return out_reader_left; }

void reset_output() {
  out_used = 0;
  out_failed = false;
  out_reader_left = false;
}

void err_write(std::string_view text) {
  // Standard error is for the user; a failure to write it has nowhere to go.
  (void)write_all(err_fd, text.data(), text.size());
}

}  // namespace kup
