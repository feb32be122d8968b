// The driver: shared mode flags and line buffers, the entry point of a run,
// and the pieces every subsystem uses to talk to the user.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "driver/diagnostics.h"
#include "driver/echo_file.h"
#include "driver/output.h"
#include "driver/text_format.h"

namespace kup {

/// The version text, value of $V and shown by every banner.
inline constexpr std::string_view kVersionText = "DOS V3.04";

/// The longest text any buffer of the system holds.
inline constexpr std::size_t kMaxText = 1023;

/// The size a text buffer would have with its terminator; the value that
/// the length messages report as the maximum.
inline constexpr int kTextBufferSize = 1024;

/// The longest piece of an input line delivered as one line.
inline constexpr std::size_t kMaxPiece = 1022;

/// The mode flags shared by the line loop and the directive handlers.
struct ModeFlags {
  bool evaluation = true;
  bool skip = false;
  bool pending_skip = false;
  bool verbose = false;
  bool pending_verbose = false;
  bool verbose_forced = false;
  bool line = false;
  bool echo = false;
  bool comment = false;
  bool warning = true;
  bool prefix = false;
  /// The current line is a directive line (also on during start-up).
  bool directive_line = true;
  /// The Evaluation Mode value last reported by the trace.
  bool evaluation_traced = true;
  /// Lines written to standard output so far.
  long long output_line = 0;
};

extern ModeFlags modes;

/// The buffers of the line loop. Handlers read their arguments from
/// `line_rest` and set `trace_label` and `trace_detail`, the texts the
/// trace shows for their line, with set_trace; the trace of a data line
/// shows `data_expansion`.
struct LineBuffers {
  /// The line as read, with its newline if any: a view of raw_line, or of
  /// the reader's buffer for a data line found whole there (no handler
  /// runs for a data line, so nothing reads on under the view).
  std::string_view raw_text;
  std::string raw_line;        ///< the copy of a line that raw_text views
  std::string_view line_text;  ///< raw_text without its newline
  std::string_view line_rest;  ///< what follows the first field or the word
  std::string trace_label;
  std::string trace_detail;
  /// The expansion of a data line, kept when the trace shows it (or the
  /// text the trace shows instead outside Evaluation Mode).
  std::string data_expansion;
  std::string trace_prefix;
  /// The trace of the current line, built in one buffer kept between lines.
  std::string trace_text;
  /// The line was read from standard input and is not yet in the echo
  /// file: only lines read from standard input are copied there, once.
  bool echo_due = false;
};

extern LineBuffers line;

/// Sets the trace texts of the current directive line; a handler calls it
/// once, at its end.
void set_trace(std::string_view label, std::string_view detail);

/// Start-up state of the command line.
struct StartupState {
  bool read_stdin = false;
  /// On until the first line is read: a queued file may be queued again.
  bool command_line_phase = true;
};

extern StartupState startup;

/// Runs kup with the given arguments and returns its exit status. Every
/// end of a run, normal or not, returns here; the process is never exited
/// from inside. Output goes to the descriptors set with set_output_fds.
int run_kup(int argc, char** argv);

/// Puts every subsystem back into its start-up state, closing whatever a
/// previous run left open. run_kup calls it first.
void reset_run_state();

/// Rebuilds trace_prefix for `depth` open conditional blocks.
void build_trace_prefix(int depth);

/// The line loop: reads and handles lines until all input is read.
void run_line_loop();

/// Handles the line just read into line.raw_text.
void process_line();

/// Calls the handler of a directive word.
void dispatch_directive(std::string_view word);

/// An unknown directive word: a warning, and the line becomes data.
void report_unknown_directive(std::string_view word);

/// Start-up: the two passes over the arguments. Returns true when the
/// line loop is to run, false when an informational option was answered.
bool start_up(int argc, char** argv);

/// Informational texts.
void print_usage();
void print_help();
void print_build();
void print_run_report();

/// When the executable was built: "Jul  6 2024" and "14:40:01".
std::string_view build_date();
std::string_view build_time();

/// A moment broken down into its calendar fields.
struct CalendarTime {
  int year;     ///< e.g. 2026
  int month;    ///< 0 (January) to 11
  int day;      ///< 1 to 31
  int weekday;  ///< 0 (Sunday) to 6
  int hour, minute, second;
};

/// `seconds` since the epoch in the local time zone; the one place that
/// asks the platform for the time zone.
CalendarTime local_time(long long seconds);
/// `seconds` since the epoch in UTC, worked out without the platform.
CalendarTime universal_time(long long seconds);

/// The 24-character calendar text "Tue Dec  8 13:15:13 2026": day and
/// month abbreviations, the day of the month right-aligned in two columns,
/// the time and the year.
std::string date_text(const CalendarTime& when);

/// The value of $D: the local time now, or the UTC time of
/// SOURCE_DATE_EPOCH when that is set; a value that is not a whole number
/// of seconds ends the run.
std::string start_date_text();

}  // namespace kup
