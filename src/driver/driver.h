// The driver's state and entry points: the limits of texts, the mode flags
// and line buffers every subsystem shares, and the run.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "input/input_stack.h"

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
  /// the reader's storage for a data line (no handler runs for a data
  /// line, so nothing reads on under the view). Either way its storage is
  /// readable kReadSlack bytes past its end.
  std::string_view raw_text;
  /// The copy of a line that may be a directive: its handler may read on
  /// from the reader that handed it out.
  LineStore raw_line;
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

}  // namespace kup
