// The engine reads a line longer than a piece as several lines, each
// counted in its line numbers; the editor sees one. The places of the
// engine's lines in the editor's, and a run's result moved to them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ls/engine_run.h"

namespace kup::ls {

/// Where a line of the engine lies in the editor's text.
struct EditorPlace {
  long line = 0;              ///< from 0
  std::uint32_t column = 0;   ///< the byte of that line where the engine's line begins
};

/// The editor's place of each line the engine reads from one text.
class PieceMap {
 public:
  explicit PieceMap(std::string_view text);
  /// The place of the engine's line `n` (from 1); past the text's end, the
  /// lines after its last.
  EditorPlace place(long n) const;

 private:
  std::vector<EditorPlace> places_;  ///< by the engine's line, from 1
  long editor_lines_ = 0;
};

/// Moves what `result` holds of the file `path` (its lines, the uses in
/// them, the definitions made there and the places of its faults) from
/// the engine's lines to the editor's lines of `text`, the text the run
/// read.
void map_pieces(RunResult& result, const std::string& path, std::string_view text);

}  // namespace kup::ls
