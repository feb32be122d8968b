#include "ls/piece_map.h"

#include <algorithm>

#include "driver/driver.h"

namespace kup::ls {

PieceMap::PieceMap(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t newline = text.find('\n', at);
    const std::size_t end = newline == std::string_view::npos ? text.size() : newline + 1;
    // A newline that ends a piece of kMaxPiece characters comes alone,
    // as a piece of its own.
    for (std::size_t column = 0; column < end - at; column += kMaxPiece)
      places_.push_back({editor_lines_, static_cast<std::uint32_t>(column)});
    ++editor_lines_;
    at = end;
  }
}

EditorPlace PieceMap::place(long n) const {
  const long known = static_cast<long>(places_.size());
  if (n <= 0) return {n - 1, 0};
  if (n <= known) return places_[static_cast<std::size_t>(n - 1)];
  return {editor_lines_ + (n - known) - 1, 0};
}

namespace {

/// Adds the record of a piece that begins at byte `column` of its line to
/// the line's record. The line's uses are kept together at the end of
/// `uses`, their offsets those of the line.
void add_piece(std::vector<NameUse>& uses, LineRecord& line, const LineRecord& piece, std::uint32_t column) {
  if (!line.read) {
    line = piece;
    if (column == 0) return;
    line.first_use = static_cast<std::uint32_t>(uses.size());
    line.use_count = 0;
  } else {
    // Skipped only when every piece was.
    line.skipped = line.skipped && piece.skipped;
    line.order = std::max(line.order, piece.order);
  }
  if (line.first_use + line.use_count != uses.size()) {
    const auto first = static_cast<std::uint32_t>(uses.size());
    for (std::uint32_t i = 0; i < line.use_count; ++i) uses.push_back(NameUse(uses[line.first_use + i]));
    line.first_use = first;
  }
  for (std::uint32_t i = 0; i < piece.use_count; ++i) {
    NameUse use = uses[piece.first_use + i];
    use.begin += column;
    use.end += column;
    uses.push_back(use);
  }
  line.use_count += piece.use_count;
}

void map_records(std::vector<NameUse>& uses, std::vector<LineRecord>& records, const PieceMap& map) {
  std::vector<LineRecord> lines;
  for (std::size_t n = 0; n < records.size(); ++n) {
    if (!records[n].read) continue;
    const EditorPlace place = map.place(static_cast<long>(n) + 1);
    const auto index = static_cast<std::size_t>(place.line);
    if (lines.size() <= index) lines.resize(index + 1);
    add_piece(uses, lines[index], records[n], place.column);
  }
  records = std::move(lines);
}

}  // namespace

void map_pieces(RunResult& result, const std::string& path, std::string_view text) {
  const PieceMap map(text);
  if (const auto records = result.lines.find(path); records != result.lines.end())
    map_records(result.uses, records->second, map);
  for (Definition& made : result.definitions) {
    if (made.file != path || made.line <= 0) continue;
    const EditorPlace place = map.place(made.line);
    made.line = place.line + 1;
    made.column = place.column;
  }
  for (Fault& fault : result.faults)
    for (FaultLocation& location : fault.where)
      if (location.file == path && location.line > 0) location.line = map.place(location.line).line + 1;
}

}  // namespace kup::ls
