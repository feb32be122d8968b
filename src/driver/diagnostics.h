// Location lines, errors, warnings and the single termination path, with
// the guard that keeps nesting counters right when that path unwinds.
#pragma once

#include <string>
#include <string_view>

namespace kup {

/// Thrown by terminate_run and caught by run_kup: the one way a run ends
/// early. It carries the exit status.
struct RunEnd {
  int status;
};

/// Counts one more level of a nesting counter for as long as it lives, so
/// that the counter is right again however the level is left, by the end of
/// the run included.
class NestingGuard {
 public:
  explicit NestingGuard(int& counter) : counter_(counter) { ++counter_; }
  ~NestingGuard() { --counter_; }
  NestingGuard(const NestingGuard&) = delete;
  NestingGuard& operator=(const NestingGuard&) = delete;

 private:
  int& counter_;
};

/// Writes the location lines of the input levels 0 to `level` to standard
/// error; "\n[Command Line]\n" while no level exists.
void print_location(int level);

/// Writes "\n[Command Line]\n" to standard error.
void print_command_line_location();

/// Closes the open inputs, writes the closing trace and ends the run with
/// `status` by throwing RunEnd.
[[noreturn]] void terminate_run(int status);

/// The location lines of the current level, `message`, and the end of the
/// run with status 1.
[[noreturn]] void fatal(std::string_view message);

/// The command-line location, `message`, and the end of the run with status 1.
[[noreturn]] void fatal_command_line(std::string_view message);

/// In Warning Mode: the location lines of the current level and `message`.
void warn(std::string_view message);

/// The message for a text that would be longer than the longest text:
/// "KUP error - " `lead` "string too long" `tail` " (max = 1024)".
std::string string_too_long(std::string_view lead = {}, std::string_view tail = {});

/// "KUP error - file name is missing" at the current location.
[[noreturn]] void report_missing_file_name();

}  // namespace kup
