// The editor's places of the lines the engine reads from a text, at the
// lengths where a line begins to come in pieces.
#include "ls/piece_map.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace kup::ls {
namespace {

struct PieceCase {
  std::string text;
  /// The editor's line and column of the engine's lines 1, 2, ...,
  /// one past the text's end included.
  std::vector<std::pair<long, std::uint32_t>> places;
};

TEST(PieceMap, PlacesOfTheEngineLines) {
  const std::string piece(1022, 'x');
  const std::vector<PieceCase> cases = {
      {"a\nb\n", {{0, 0}, {1, 0}, {2, 0}}},
      {std::string(1021, 'x') + "\nb", {{0, 0}, {1, 0}, {2, 0}}},
      // A newline after a whole piece is read as a line of its own.
      {piece + "\nb\n", {{0, 0}, {0, 1022}, {1, 0}, {2, 0}}},
      {piece + piece, {{0, 0}, {0, 1022}, {1, 0}}},
      {piece + piece + "yy\n\n", {{0, 0}, {0, 1022}, {0, 2044}, {1, 0}, {2, 0}}},
  };
  for (const PieceCase& c : cases) {
    const PieceMap map(c.text);
    for (std::size_t n = 0; n < c.places.size(); ++n) {
      const EditorPlace place = map.place(static_cast<long>(n) + 1);
      EXPECT_EQ(std::make_pair(place.line, place.column), c.places[n]) << "line " << n + 1 << " of a text of " << c.text.size();
    }
  }
}

}  // namespace
}  // namespace kup::ls
