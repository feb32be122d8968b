// Bit masks of the identifier and backquote characters of a text, so that
// the expansion loop finds where identifier fields begin and end with bit
// scans instead of a test and a branch per character.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "text/char_classes.h"

namespace kup {

/// The longest text that gets masks; longer texts are scanned a character
/// at a time (no text the line loop makes is longer).
inline constexpr std::size_t kMaskedTextMax = 1024;

/// How far past the text it is given ClassMasks::build_padded reads.
inline constexpr std::size_t kLineSlack = 64;

/// A set of printable ASCII characters (0x20 to 0x7F) as a table of
/// sixteen bytes indexed by the low half of a character: bit h - 2 of
/// entry l is set when the character h * 16 + l is in the set. The masks
/// test a whole chunk of characters against it with one byte shuffle.
struct CharSet {
  alignas(16) unsigned char low[16] = {};

  static constexpr bool fits(unsigned char c) { return c >= 0x20 && c < 0x80; }
  constexpr void add(unsigned char c) { low[c & 15] |= static_cast<unsigned char>(1u << ((c >> 4) - 2)); }
  constexpr void remove(unsigned char c) { low[c & 15] &= static_cast<unsigned char>(~(1u << ((c >> 4) - 2))); }
  constexpr bool has(unsigned char c) const { return fits(c) && (low[c & 15] >> ((c >> 4) - 2) & 1) != 0; }

  /// The characters of either set.
  friend constexpr CharSet operator|(const CharSet& a, const CharSet& b) {
    CharSet both;
    for (int i = 0; i < 16; ++i) both.low[i] = static_cast<unsigned char>(a.low[i] | b.low[i]);
    return both;
  }
  friend constexpr bool operator==(const CharSet&, const CharSet&) = default;
};

/// The bits of a block of 64 characters, bit i for character i.
struct BlockBits {
  std::uint64_t ident = 0;    ///< identifier characters (ctype::kIdent)
  std::uint64_t quote = 0;    ///< backquotes
  std::uint64_t first = 0;    ///< identifier characters of the caller's set
};

/// The ways a block of characters can be classified: one character at a
/// time from the class table, or by byte shuffles through tables made from
/// it, sixteen characters at a time (SSSE3) or 32 (AVX2). Every way gives
/// the same bits; only its speed differs.
enum class SimdWay { Scalar, Ssse3, Avx2 };

/// Every way, the slowest first.
inline constexpr SimdWay kSimdWays[] = {SimdWay::Scalar, SimdWay::Ssse3, SimdWay::Avx2};

/// The name of a way, as KUP_SIMD names it: "scalar", "ssse3", "avx2".
std::string_view simd_way_name(SimdWay way);

/// The way called `name`, if there is one.
std::optional<SimdWay> simd_way_named(std::string_view name);

/// Whether both this build and this processor have `way`.
bool simd_way_available(SimdWay way);

/// The fastest way this machine has.
SimdWay best_simd_way();

/// Makes the masks classify by `way`, which must be available. A choice of
/// the process, made at start-up; the best way until then.
void use_simd_way(SimdWay way);

/// The way the masks classify by.
SimdWay current_simd_way();

/// One bit per character of a text, 64 to a word, for identifier
/// characters (ctype::kIdent), for those of them in a set the caller
/// gives, and for backquotes. Bits past the end of the text are clear.
struct ClassMasks {
  /// Words for the longest text and its end: the word holding the end has
  /// a clear bit there at least, so every search stops by that word.
  static constexpr std::size_t kWords = kMaskedTextMax / 64 + 1;

  /// Builds the masks of [base, base + size); size <= kMaskedTextMax.
  /// `first` receives the identifier characters in `first_set`.
  void build(const char* base, std::size_t size, const CharSet& first_set);

  /// The same for a text whose storage stays readable kLineSlack bytes
  /// past its end, as every line the line reader hands out does: its last
  /// block is classified in place, and only as far as the half that holds
  /// its end.
  void build_padded(const char* base, std::size_t size, const CharSet& first_set);

  /// The first position from `i` on that is not an identifier character
  /// (the size at the end: the bits past the text are clear).
  std::size_t ident_end(std::size_t i) const {
    for (;;) {
      const auto run = static_cast<std::size_t>(std::countr_zero(~(ident[i / 64] >> (i % 64))));
      i += run;
      // A run that reaches the end of its word may go on in the next.
      if (i % 64 != 0 || run == 0) return i;
    }
  }

  /// The position after the last character that is not white space, or 0.
  /// Read from the text itself: a line seldom ends in more than a blank.
  std::size_t content_end() const {
    std::size_t at = size;
    while (at > 0 && ctype::is(text[at - 1], ctype::kSpace)) --at;
    return at;
  }

  const char* text = nullptr;
  std::size_t size = 0;
  std::size_t words = 0;  ///< words holding the text and its end
  std::uint64_t ident[kWords];
  std::uint64_t backquote[kWords];
  /// Identifier characters of the caller's set.
  std::uint64_t first[kWords];
};

}  // namespace kup
