// Standard error of in-process runs caught in a temporary file, shared by
// the unit tests.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "driver/diagnostics.h"
#include "driver/output.h"

namespace kup::test_support {

/// The location lines of a message while no input is open.
inline constexpr std::string_view kCommandLine = "\n[Command Line]\n";

/// Sends standard error to a temporary file while it lives.
class ErrCapture {
 public:
  ErrCapture() : file_(std::tmpfile()) { set_output_fds(1, fileno(file_)); }
  ~ErrCapture() {
    set_output_fds(1, 2);
    std::fclose(file_);
  }
  ErrCapture(const ErrCapture&) = delete;
  ErrCapture& operator=(const ErrCapture&) = delete;

  /// Everything written so far.
  std::string text() const {
    std::string all;
    char chunk[4096];
    ssize_t got;
    for (off_t at = 0; (got = ::pread(fileno(file_), chunk, sizeof chunk, at)) > 0; at += got)
      all.append(chunk, static_cast<std::size_t>(got));
    return all;
  }

  /// Everything written so far, and forgets it.
  std::string take() {
    std::string all = text();
    if (::ftruncate(fileno(file_), 0) != 0 || ::lseek(fileno(file_), 0, SEEK_SET) != 0)
      ADD_FAILURE() << "cannot empty the capture file";
    return all;
  }

 private:
  std::FILE* file_;
};

/// Runs `action`, which must end the run with status 1, and returns all it
/// wrote to standard error.
template <typename Action>
std::string fault_text(Action action) {
  ErrCapture err;
  try {
    action();
  } catch (const RunEnd& end) {
    EXPECT_EQ(end.status, 1);
    return err.text();
  }
  ADD_FAILURE() << "the run did not end";
  return {};
}

}  // namespace kup::test_support
