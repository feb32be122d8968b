// Location lines, errors, warnings and the single termination path, with
// the guard that keeps nesting counters right when that path unwinds.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "driver/text_format.h"

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

/// One place a diagnostic arose: the file as kup opened it (or its #tag name) and a line.
struct DiagnosticLocation {
  std::string file;
  long line = 0;
};
/// A warning or an error as data, from which every form on standard error is made.
struct Diagnostic {
  bool error = false;                      ///< else a warning
  std::string message;                     ///< without its "KUP ... - " prefix and final newline
  std::vector<DiagnosticLocation> where;   ///< innermost first; empty for the command line
};
/// Receives every diagnostic of a run instead of standard error, when set.
using DiagnosticSink = void (*)(const Diagnostic&);
/// Sets the sink, a choice of the process that outlasts runs; nullptr: standard error.
void set_diagnostic_sink(DiagnosticSink sink);

/// The forms a diagnostic takes on standard error (KUP_DIAGNOSTICS).
enum class DiagnosticForm {
  Classic,  ///< location lines, then the "KUP ... - " line
  Gnu,      ///< FILE:LINE:1: error: TEXT, after "In file included from" lines
  Json,     ///< one JSON object per line
};

/// Where the classic form says a diagnostic arose.
enum class DiagnosticOrigin {
  Input,        ///< the location lines of the open input levels
  CommandLine,  ///< "\n[Command Line]\n"
  Unlocated,    ///< no location lines (faults found after the input ended)
};

/// Reports one warning or error: builds its Diagnostic from `text` (the
/// classic line, "KUP error - ..." and the like) and the open input levels,
/// and hands it to the sink or writes it in the form chosen. A warning is
/// counted for KUP_FATAL_WARNINGS. Does not end the run.
void report_diagnostic(bool error, DiagnosticOrigin origin, std::string_view text);

/// Chooses the form of the diagnostics on standard error for this run.
void set_diagnostic_form(DiagnosticForm form);

/// Forgets the form chosen and what the forms remember between diagnostics of a run.
void reset_diagnostics();

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

/// True while warnings are printed (Warning Mode).
bool warnings_shown();

/// In Warning Mode: warn with `fmt` formatted; without it nothing is
/// formatted, so a suppressed warning costs a test.
template <typename Arg, typename... Args>
void warn(std::string_view fmt, const Arg& arg, const Args&... args) {
  if (warnings_shown()) warn(std::string_view(format(fmt, arg, args...)));
}

/// The message for a text that would be longer than the longest text:
/// "KUP error - " `lead` "string too long" `tail` " (max = 1024)".
std::string string_too_long(std::string_view lead = {}, std::string_view tail = {});

/// "KUP error - file name is missing" at the current location.
[[noreturn]] void report_missing_file_name();

}  // namespace kup
