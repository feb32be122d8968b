// Line markers: with KUP_LINE_MARKERS set, a line of the user's format is
// written before each output line that does not come from the line after
// the previous output line's origin, so that a compiler reading the output
// reports its errors at the template's file and line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "input/input_stack.h"

namespace kup {

/// The format of the markers and what the output has told its reader so
/// far about where its lines come from.
struct LineMarkerState {
  /// KUP_LINE_MARKERS is set: markers are written.
  bool on = false;
  /// The format: %l the line, %f the file name, %% a percent sign.
  std::string format;
  /// The origin of the input line being handled: its file name (owned by
  /// its input level, which keeps it until another file takes the level)
  /// and its line in that file. Null before the first line.
  const std::string* file = nullptr;
  std::uint32_t line = 0;
  /// The origin an output line must have to need no marker: the line
  /// after the previous output line's origin. 0 before the first marker.
  std::string next_file;
  std::uint32_t next_line = 0;
  /// The last piece written ended without a newline, so the next output
  /// line continues it and gets no marker of its own.
  bool mid_line = false;
  /// The marker being written, kept between markers.
  std::string text;
};

extern LineMarkerState markers;

/// Checks a KUP_LINE_MARKERS value; returns false when a '%' in it is
/// followed by anything but l, f or %. An empty value turns markers off.
bool set_line_marker_format(std::string_view format);

/// Writes the marker for an output line from `line` of `file`, and
/// remembers that the output goes on at the line after it.
void write_line_marker(const std::string& file, std::uint32_t line);

/// Writes a marker before an output line from `line` of `file` when the
/// output's reader expects another origin.
inline void mark_output_line(const std::string& file, std::uint32_t line) {
  if (markers.mid_line) {
    markers.mid_line = false;
    return;
  }
  if (line == markers.next_line && file == markers.next_file) {
    ++markers.next_line;
    return;
  }
  write_line_marker(file, line);
}

/// The line in its file of the piece of `level` just read (line_count
/// already counts it), `whole` when the piece ends with a newline: the
/// pieces of a line longer than a piece share the line's number.
inline std::uint32_t line_in_file(InputLevel& level, bool whole) {
  if (level.piece_continues) ++level.continued_pieces;
  level.piece_continues = !whole;
  return level.line_count - level.continued_pieces;
}

/// Notes the piece of `level` just read as the origin of the input line
/// being handled.
inline void note_line_origin(InputLevel& level, bool whole) {
  markers.line = line_in_file(level, whole);
  markers.file = &level.file_name;
}

/// The markers of a loop that handles whole lines of one level, one
/// after another: the file is compared once, on the loop's first line,
/// and after that only the line numbers.
class WholeLineMarks {
 public:
  /// Made before the loop takes its first line of `level`.
  explicit WholeLineMarks(InputLevel& level) : level_(level) {
    if (!markers.on) return;
    // The first line taken may continue the piece read before the loop.
    if (level.piece_continues) ++level.continued_pieces;
    level.piece_continues = false;
    markers.file = &level.file_name;
    same_file_ = !markers.mid_line && markers.next_file == level.file_name;
  }

  /// The marker before the output line of the line just taken (counted
  /// in line_count already), if it needs one.
  void mark() {
    markers.line = level_.line_count - level_.continued_pieces;
    if (same_file_ && markers.line == markers.next_line) {
      ++markers.next_line;
      return;
    }
    mark_output_line(level_.file_name, markers.line);
    same_file_ = !markers.mid_line && markers.next_file == level_.file_name;
  }

 private:
  InputLevel& level_;
  bool same_file_ = false;
};

/// A marker before the output line of the input line being handled, if it
/// needs one. Nothing before the first input line.
inline void mark_current_line() {
  if (markers.on && markers.file != nullptr) mark_output_line(*markers.file, markers.line);
}

/// Forgets the markers of a previous run.
void reset_line_markers();

}  // namespace kup
