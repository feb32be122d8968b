// Standard output and standard error of a run. Standard output is fully
// buffered in a buffer of our own and written with write(2); standard error
// is written at once. Both descriptors can be redirected for in-process runs.
#pragma once

#include <cstddef>
#include <string_view>

namespace kup {

/// The size of the buffer of standard output.
inline constexpr std::size_t kOutBufferSize = 1 << 16;

/// Standard output and standard error: their descriptors, which the program
/// running kup chooses and which outlast a run, and the buffer of standard
/// output with what became of its writes.
struct OutputState {
  int out_fd = 1;
  int err_fd = 2;
  /// Characters held in `buffer`.
  std::size_t used = 0;
  /// A write failed; nothing more is written.
  bool failed = false;
  /// A write failed because the reader of standard output went away.
  bool reader_left = false;
  char buffer[kOutBufferSize];
};

extern OutputState output;

/// Chooses the descriptors of standard output and standard error (1 and 2
/// unless a test or fuzzer redirects them).
void set_output_fds(int out_fd, int err_fd);

/// Appends text to standard output. Both can end the run (see
/// out_reader_gone).
void out_write(std::string_view text);
void out_put(char c);

/// Room for `n` (at most 64 KiB) more characters at the end of the buffer
/// of standard output, to be written in place and then kept with
/// out_commit; what is not committed is not written. Can end the run as
/// out_write does.
char* out_reserve(std::size_t n);
void out_commit(std::size_t n);

/// out_reserve once the buffer has to be written first.
char* out_reserve_after_drain(std::size_t n);

inline char* out_reserve(std::size_t n) {
  if (n <= kOutBufferSize - output.used) return output.buffer + output.used;
  return out_reserve_after_drain(n);
}

inline void out_commit(std::size_t n) { output.used += n; }

/// Writes the buffer of standard output; returns false if this or any
/// earlier write failed (whatever is written after a failure is dropped).
/// Never ends the run itself.
bool out_flush();

/// True once a write failed because the reader of standard output has
/// gone away (a closed pipe). out_write and out_put end the run at once
/// then, quietly, by throwing RunEnd with status 1.
bool out_reader_gone();

/// Forgets whatever is buffered and any earlier write error; the
/// descriptors stay.
void reset_output();

/// Writes text to standard error at once.
void err_write(std::string_view text);

}  // namespace kup
