// Bit masks of the identifier and backquote characters of a text, so that
// the expansion loop finds where identifier fields begin and end with bit
// scans instead of a test and a branch per character.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "text/char_classes.h"

namespace kup {

/// The longest text that gets masks; longer texts are scanned a character
/// at a time (no text the line loop makes is longer).
inline constexpr std::size_t kMaskedTextMax = 1024;

/// Chooses how build() classifies sixteen characters at a time on x86: by
/// a table lookup with the SSSE3 byte shuffle (on, the default, where the
/// processor has it) or by comparisons with SSE2 alone. Both give the same
/// masks; tests compare them. Elsewhere there is one way and this does
/// nothing.
void use_shuffle_classes(bool on);

/// One bit per character of a text, 64 to a word, for identifier
/// characters (ctype::kIdent) and backquotes. Bits past the end of the
/// text are clear.
struct ClassMasks {
  /// Words for the longest text and its end: the word holding the end has
  /// a clear bit there at least, so every search stops by that word.
  static constexpr std::size_t kWords = kMaskedTextMax / 64 + 1;

  /// Builds the masks of [base, base + size); size <= kMaskedTextMax.
  void build(const char* base, std::size_t size);

  /// The first position from `i` on that is not an identifier character
  /// (the size at the end).
  std::size_t ident_end(std::size_t i) const {
    std::size_t w = i / 64;
    std::uint64_t other = ~ident[w] & (~std::uint64_t{0} << (i % 64));
    while (other == 0) other = ~ident[++w];
    const std::size_t at = w * 64 + static_cast<std::size_t>(std::countr_zero(other));
    return at < size ? at : size;
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
};

}  // namespace kup
