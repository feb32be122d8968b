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

/// Lanes of `c` that equal `x` once the bits of `ignored` are cleared.
inline __m128i equal_masked(__m128i c, char ignored, char x) {
  return equal(_mm_and_si128(c, _mm_set1_epi8(static_cast<char>(~ignored))), x);
}

/// Identifier and backquote bits of sixteen characters, as the character
/// class table gives them. The identifier characters are four ranges less
/// a few holes:
///   @ A-Z [ ] _   0x40..0x5F without \ and ^ (0x5C, 0x5E)
///   a-z |         0x61..0x7C without { (0x7B)
///   0-9 < = >     0x30..0x3E without : and ; (0x3A, 0x3B)
///   ! $ % &       0x21 and 0x24..0x26
inline void classify16(__m128i c, std::uint32_t& ident, std::uint32_t& quote) {
  const __m128i upper = _mm_andnot_si128(equal_masked(c, 0x02, 0x5C), in_range(c, 0x40, 0x1F));
  const __m128i lower = _mm_andnot_si128(equal(c, 0x7B), in_range(c, 0x61, 0x1B));
  const __m128i digit = _mm_andnot_si128(equal_masked(c, 0x01, 0x3A), in_range(c, 0x30, 0x0E));
  const __m128i mark = _mm_or_si128(equal(c, '!'), in_range(c, '$', '&' - '$'));
  const __m128i word = _mm_or_si128(_mm_or_si128(upper, lower), _mm_or_si128(digit, mark));
  ident = static_cast<std::uint32_t>(_mm_movemask_epi8(word));
  quote = static_cast<std::uint32_t>(_mm_movemask_epi8(equal(c, '`')));
}

inline __m128i load16(const char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

/// The classes of the `n` (fewer than sixteen) characters at `at`, the last
/// of a text that begins at `base`. A text of sixteen characters or more
/// is read in its last sixteen and the bits shifted down, so no byte
/// outside the text is read; a shorter one is copied into sixteen NULs,
/// which are of neither class.
inline void classify_tail(const char* base, std::size_t at, std::size_t n, std::uint32_t& ident,
                          std::uint32_t& quote) {
  if (at + n >= 16) {
    const unsigned drop = static_cast<unsigned>(16 - n);
    classify16(load16(base + at + n - 16), ident, quote);
    ident >>= drop;
    quote >>= drop;
    return;
  }
  alignas(16) char padded[16] = {};
  std::memcpy(padded, base + at, n);
  classify16(_mm_load_si128(reinterpret_cast<const __m128i*>(padded)), ident, quote);
}

#endif

}  // namespace

void ClassMasks::build(const char* base, std::size_t text_size) {
  text = base;
  size = text_size;
  // Every word up to the one holding the end, which is left with its bits
  // past the end clear.
  words = size / 64 + 1;
  for (std::size_t w = 0; w < words; ++w) ident[w] = backquote[w] = 0;
#if defined(__SSE2__)
  std::size_t at = 0;
  std::uint32_t i16, q16;
  for (; size - at >= 16; at += 16) {
    classify16(load16(base + at), i16, q16);
    ident[at / 64] |= std::uint64_t{i16} << (at % 64);
    backquote[at / 64] |= std::uint64_t{q16} << (at % 64);
  }
  if (at < size) {
    classify_tail(base, at, size - at, i16, q16);
    ident[at / 64] |= std::uint64_t{i16} << (at % 64);
    backquote[at / 64] |= std::uint64_t{q16} << (at % 64);
  }
#else
  for (std::size_t at = 0; at < size; ++at) {
    const unsigned char c = static_cast<unsigned char>(base[at]);
    ident[at / 64] |= std::uint64_t{ctype::is(c, ctype::kIdent)} << (at % 64);
    backquote[at / 64] |= std::uint64_t{c == '`'} << (at % 64);
  }
#endif
}

}  // namespace kup
