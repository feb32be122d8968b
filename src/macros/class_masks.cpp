#include "macros/class_masks.h"

#include <cstring>

#include "text/char_classes.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The byte shuffle of SSSE3 is not part of the x86-64 baseline: it is used
// in functions compiled for it, when the processor says it has it.
#if defined(__SSE2__) && defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define KUP_SHUFFLE_CLASSES 1
#include <tmmintrin.h>
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

/// The chunk of sixteen characters at `at` of a text of `size`, and in
/// `drop` how many of its bits to shift out. The last chunk of a text of
/// sixteen characters or more is read as its last sixteen, shifted down
/// to the ones not yet seen, so no byte outside the text is read; a
/// shorter text is copied into sixteen NULs, which are of neither class.
inline __m128i chunk_at(const char* base, std::size_t size, std::size_t at, unsigned& drop) {
  drop = 0;
  const std::size_t n = size - at;
  if (n >= 16) return load16(base + at);
  if (size >= 16) {
    drop = static_cast<unsigned>(16 - n);
    return load16(base + size - 16);
  }
  alignas(16) char padded[16] = {};
  std::memcpy(padded, base + at, n);
  return _mm_load_si128(reinterpret_cast<const __m128i*>(padded));
}

/// Puts the bits of the chunk at `at` into the words; the first chunk of
/// a word clears what the word held before.
inline void put_chunk(std::uint64_t* ident, std::uint64_t* backquote, std::size_t at, std::uint32_t i16,
                      std::uint32_t q16) {
  const std::uint64_t kept = at % 64 == 0 ? 0 : ~std::uint64_t{0};
  ident[at / 64] = (ident[at / 64] & kept) | std::uint64_t{i16} << (at % 64);
  backquote[at / 64] = (backquote[at / 64] & kept) | std::uint64_t{q16} << (at % 64);
}

/// The masks of a text by classify16.
void build_compared(const char* base, std::size_t size, std::uint64_t* ident, std::uint64_t* backquote) {
  for (std::size_t at = 0; at < size; at += 16) {
    unsigned drop;
    std::uint32_t i16, q16;
    classify16(chunk_at(base, size, at, drop), i16, q16);
    put_chunk(ident, backquote, at, i16 >> drop, q16 >> drop);
  }
}

#endif

#if defined(KUP_SHUFFLE_CLASSES)

/// The identifier class as two 16-byte tables indexed by the low and the
/// high half of a byte: every high half 2 to 7 (where all identifier
/// characters lie) has a bit of its own; low[l] holds the bits of the
/// high halves h for which the byte h * 16 + l is an identifier character,
/// high[h] the bit of h. A byte is one when low[its low half] and
/// high[its high half] share a bit.
struct NibbleTables {
  alignas(16) unsigned char low[16] = {};
  alignas(16) unsigned char high[16] = {};
};

NibbleTables make_nibble_tables() {
  NibbleTables t;
  for (int h = 2; h <= 7; ++h) {
    const auto bit = static_cast<unsigned char>(1u << (h - 2));
    t.high[h] = bit;
    for (int l = 0; l < 16; ++l)
      if (ctype::is(static_cast<char>(h * 16 + l), ctype::kIdent)) t.low[l] |= bit;
  }
  return t;
}

// The class table is a constant, ready before any dynamic initialization.
const NibbleTables kNibbles = make_nibble_tables();

/// classify16 by two table lookups.
[[gnu::target("ssse3"), gnu::always_inline]] inline void classify16_shuffled(__m128i c, std::uint32_t& ident,
                                                                             std::uint32_t& quote) {
  const __m128i nibble = _mm_set1_epi8(0x0F);
  const __m128i low = _mm_shuffle_epi8(_mm_load_si128(reinterpret_cast<const __m128i*>(kNibbles.low)),
                                       _mm_and_si128(c, nibble));
  const __m128i high = _mm_shuffle_epi8(_mm_load_si128(reinterpret_cast<const __m128i*>(kNibbles.high)),
                                        _mm_and_si128(_mm_srli_epi16(c, 4), nibble));
  const __m128i none = _mm_cmpeq_epi8(_mm_and_si128(low, high), _mm_setzero_si128());
  ident = static_cast<std::uint32_t>(_mm_movemask_epi8(none)) ^ 0xFFFFu;
  quote = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(c, _mm_set1_epi8('`'))));
}

/// build_compared with classify16_shuffled; a whole word of 64
/// characters is classified in one go and stored once.
[[gnu::target("ssse3")]] void build_shuffled(const char* base, std::size_t size, std::uint64_t* ident,
                                             std::uint64_t* backquote) {
  std::size_t at = 0;
  for (; size - at >= 64; at += 64) {
    std::uint32_t i[4], q[4];
    for (int k = 0; k < 4; ++k) classify16_shuffled(load16(base + at + 16 * k), i[k], q[k]);
    ident[at / 64] = i[0] | std::uint64_t{i[1]} << 16 | std::uint64_t{i[2]} << 32 | std::uint64_t{i[3]} << 48;
    backquote[at / 64] = q[0] | std::uint64_t{q[1]} << 16 | std::uint64_t{q[2]} << 32 | std::uint64_t{q[3]} << 48;
  }
  for (; at < size; at += 16) {
    unsigned drop;
    std::uint32_t i16, q16;
    classify16_shuffled(chunk_at(base, size, at, drop), i16, q16);
    put_chunk(ident, backquote, at, i16 >> drop, q16 >> drop);
  }
}

bool have_shuffle() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("ssse3");
}

const bool kHaveShuffle = have_shuffle();
bool shuffle_classes = kHaveShuffle;

#endif

}  // namespace

void use_shuffle_classes([[maybe_unused]] bool on) {
#if defined(KUP_SHUFFLE_CLASSES)
  shuffle_classes = on && kHaveShuffle;
#endif
}

void ClassMasks::build(const char* base, std::size_t text_size) {
  text = base;
  size = text_size;
  // Every word up to the one holding the end, which is left with its bits
  // past the end clear.
  words = size / 64 + 1;
  // Every chunk clears the word it begins; the last word may have none.
  ident[words - 1] = backquote[words - 1] = 0;
#if defined(KUP_SHUFFLE_CLASSES)
  if (shuffle_classes) {
    build_shuffled(base, size, ident, backquote);
    return;
  }
#endif
#if defined(__SSE2__)
  build_compared(base, size, ident, backquote);
#else
  for (std::size_t w = 0; w < words; ++w) ident[w] = backquote[w] = 0;
  for (std::size_t at = 0; at < size; ++at) {
    const unsigned char c = static_cast<unsigned char>(base[at]);
    ident[at / 64] |= std::uint64_t{ctype::is(c, ctype::kIdent)} << (at % 64);
    backquote[at / 64] |= std::uint64_t{c == '`'} << (at % 64);
  }
#endif
}

}  // namespace kup
