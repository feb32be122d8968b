#include "macros/class_masks.h"

#include <cstring>

#include "macros/field_scanner.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kup {

namespace {

#if defined(__SSE2__)

/// Lanes of `c` in [low, low + span]: an unsigned range test.
inline __m128i in_range(__m128i c, char low, char span) {
  const __m128i shifted = _mm_sub_epi8(c, _mm_set1_epi8(low));
  return _mm_cmpeq_epi8(_mm_min_epu8(shifted, _mm_set1_epi8(span)), shifted);
}

inline __m128i equal(__m128i c, char x) { return _mm_cmpeq_epi8(c, _mm_set1_epi8(x)); }

/// Space, identifier and backquote bits of sixteen characters, as the character
/// class table gives them.
inline void classify16(__m128i c, std::uint32_t& space, std::uint32_t& ident, std::uint32_t& quote) {
  const __m128i blank = _mm_or_si128(equal(c, ' '), in_range(c, '\t', '\r' - '\t'));
  // Setting bit 5 maps A-Z onto a-z and nothing else into a-z.
  const __m128i letter = in_range(_mm_or_si128(c, _mm_set1_epi8(0x20)), 'a', 'z' - 'a');
  const __m128i digit = in_range(c, '0', 9);
  // ! $ % & < = > @ [ ] _ |
  __m128i mark = _mm_or_si128(equal(c, '!'), in_range(c, '$', '&' - '$'));
  mark = _mm_or_si128(mark, in_range(c, '<', '>' - '<'));
  mark = _mm_or_si128(mark, _mm_or_si128(equal(c, '@'), equal(c, '[')));
  mark = _mm_or_si128(mark, _mm_or_si128(equal(c, ']'), equal(c, '_')));
  mark = _mm_or_si128(mark, equal(c, '|'));
  const __m128i word = _mm_or_si128(_mm_or_si128(letter, digit), mark);
  space = static_cast<std::uint32_t>(_mm_movemask_epi8(blank));
  ident = static_cast<std::uint32_t>(_mm_movemask_epi8(word));
  quote = static_cast<std::uint32_t>(_mm_movemask_epi8(equal(c, '`')));
}

inline __m128i load16(const char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

/// The classes of the `n` (fewer than sixteen) characters at `at`, the last
/// of a text that begins at `base`. A text of sixteen characters or more
/// is read in its last sixteen and the bits shifted down, so no byte
/// outside the text is read; a shorter one is copied into sixteen NULs,
/// which are of neither class.
inline void classify_tail(const char* base, std::size_t at, std::size_t n, std::uint32_t& space,
                          std::uint32_t& ident, std::uint32_t& quote) {
  if (at + n >= 16) {
    const unsigned drop = static_cast<unsigned>(16 - n);
    classify16(load16(base + at + n - 16), space, ident, quote);
    space >>= drop;
    ident >>= drop;
    quote >>= drop;
    return;
  }
  alignas(16) char padded[16] = {};
  std::memcpy(padded, base + at, n);
  classify16(_mm_load_si128(reinterpret_cast<const __m128i*>(padded)), space, ident, quote);
}

#endif

}  // namespace

void ClassMasks::build(const char* base, std::size_t text_size) {
  size = text_size;
  // Every word up to the one holding the end, which is left with its bits
  // past the end clear.
  words = size / 64 + 1;
  for (std::size_t w = 0; w < words; ++w) {
    std::uint64_t s = 0, i = 0, q = 0;
    const std::size_t from = w * 64;
#if defined(__SSE2__)
    for (std::size_t k = 0; k < 4 && from + 16 * k < size; ++k) {
      const std::size_t at = from + 16 * k;
      std::uint32_t s16, i16, q16;
      if (size - at >= 16) classify16(load16(base + at), s16, i16, q16);
      else classify_tail(base, at, size - at, s16, i16, q16);
      s |= std::uint64_t{s16} << (16 * k);
      i |= std::uint64_t{i16} << (16 * k);
      q |= std::uint64_t{q16} << (16 * k);
    }
#else
    const std::size_t stop = size - from < 64 ? size - from : 64;
    for (std::size_t k = 0; k < stop; ++k) {
      const unsigned char c = static_cast<unsigned char>(base[from + k]);
      s |= std::uint64_t{ctype::is(c, ctype::kSpace)} << k;
      i |= std::uint64_t{ctype::is(c, ctype::kIdent)} << k;
      q |= std::uint64_t{c == '`'} << k;
    }
#endif
    space[w] = s;
    ident[w] = i;
    backquote[w] = q;
  }
}

}  // namespace kup
