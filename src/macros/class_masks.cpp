#include "macros/class_masks.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <initializer_list>

#include "text/char_classes.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The byte shuffle of SSSE3 and the 32-byte registers of AVX2 are not part
// of the x86-64 baseline: each is used in functions compiled for it, when
// the processor says it has it.
#if defined(__SSE2__) && defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define KUP_SHUFFLE_CLASSES 1
#include <immintrin.h>
#include <tmmintrin.h>
#endif

namespace kup {

namespace {

/// The bits of one chunk of characters, from its first character on.
struct ChunkBits {
  std::uint64_t ident;
  std::uint64_t quote;
  std::uint64_t first;
};

/// Puts the bits of the chunk at `at` into the words; the first chunk of
/// a word clears what the word held before.
inline void put_chunk(ClassMasks& m, std::size_t at, ChunkBits b) {
  const std::size_t w = at / 64;
  const unsigned shift = at % 64;
  const std::uint64_t kept = shift == 0 ? 0 : ~std::uint64_t{0};
  m.ident[w] = (m.ident[w] & kept) | b.ident << shift;
  m.backquote[w] = (m.backquote[w] & kept) | b.quote << shift;
  m.first[w] = (m.first[w] & kept) | b.first << shift;
}

/// The bits of a block of 64 characters, newlines included.
struct BlockBits {
  std::uint64_t ident;
  std::uint64_t quote;
  std::uint64_t first;
  std::uint64_t newline;
};

/// Keeps the bits of block `w` of a line searched up to `limit`; true,
/// with the line ended there, when the block holds its newline.
[[gnu::always_inline]] inline bool put_line_block(ClassMasks& m, std::size_t w, BlockBits b, std::size_t limit) {
  if (limit - w * 64 < 64) b.newline &= (std::uint64_t{1} << (limit - w * 64)) - 1;
  std::uint64_t keep = ~std::uint64_t{0};
  if (b.newline != 0) keep = (std::uint64_t{1} << std::countr_zero(b.newline)) - 1;
  m.ident[w] = b.ident & keep;
  m.backquote[w] = b.quote & keep;
  m.first[w] = b.first & keep;
  if (b.newline == 0) return false;
  m.size = w * 64 + static_cast<std::size_t>(std::countr_zero(b.newline));
  m.words = w + 1;
  return true;
}

/// The masks of a text a character at a time, from the class table: the
/// way of machines without the vector instructions below, and the measure
/// the others are held to.
[[gnu::noinline]] void build_scalar(ClassMasks& m, const char* base, std::size_t size, const CharSet& set) {
  for (std::size_t w = 0; w < m.words; ++w) m.ident[w] = m.backquote[w] = m.first[w] = 0;
  for (std::size_t at = 0; at < size; ++at) {
    const char c = base[at];
    const bool ident = ctype::is(c, ctype::kIdent);
    m.ident[at / 64] |= std::uint64_t{ident} << (at % 64);
    m.backquote[at / 64] |= std::uint64_t{c == '`'} << (at % 64);
    m.first[at / 64] |= std::uint64_t{ident && set.has(static_cast<unsigned char>(c))} << (at % 64);
  }
}

/// build_line a character at a time, as build_scalar builds masks.
[[gnu::noinline]] std::size_t line_by_characters(ClassMasks& m, const char* base, std::size_t limit,
                                                 const CharSet& set) {
  for (std::size_t w = 0; w * 64 < limit; ++w) {
    BlockBits b{};
    for (unsigned i = 0; i < 64; ++i) {
      const char c = base[w * 64 + i];
      const bool ident = ctype::is(c, ctype::kIdent);
      b.ident |= std::uint64_t{ident} << i;
      b.quote |= std::uint64_t{c == '`'} << i;
      b.first |= std::uint64_t{ident && set.has(static_cast<unsigned char>(c))} << i;
      b.newline |= std::uint64_t{c == '\n'} << i;
    }
    if (put_line_block(m, w, b, limit)) return m.size + 1;
  }
  return 0;
}

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

/// The masks of a text by classify16; `first` is a copy of `ident`.
void build_compared(ClassMasks& m, const char* base, std::size_t size) {
  for (std::size_t at = 0; at < size; at += 16) {
    unsigned drop;
    std::uint32_t i16, q16;
    classify16(chunk_at(base, size, at, drop), i16, q16);
    put_chunk(m, at, {i16 >> drop, q16 >> drop, i16 >> drop});
  }
}

/// build_line by classify16.
std::size_t line_compared(ClassMasks& m, const char* base, std::size_t limit) {
  for (std::size_t w = 0; w * 64 < limit; ++w) {
    BlockBits b{};
    for (unsigned k = 0; k < 4; ++k) {
      const __m128i c = load16(base + w * 64 + 16 * k);
      std::uint32_t i16, q16;
      classify16(c, i16, q16);
      b.ident |= std::uint64_t{i16} << (16 * k);
      b.quote |= std::uint64_t{q16} << (16 * k);
      b.newline |= std::uint64_t{static_cast<std::uint32_t>(_mm_movemask_epi8(equal(c, '\n')))} << (16 * k);
    }
    b.first = b.ident;
    if (put_line_block(m, w, b, limit)) return m.size + 1;
  }
  return 0;
}

#endif

#if defined(KUP_SHUFFLE_CLASSES)

/// The identifier class as two 16-byte tables indexed by the low and the
/// high half of a byte: every high half 2 to 7 (where all identifier
/// characters lie) has a bit of its own; low[l] holds the bits of the
/// high halves h for which the byte h * 16 + l is an identifier character,
/// high[h] the bit of h. A byte is one when low[its low half] and
/// high[its high half] share a bit. A CharSet is a `low` table of the
/// same kind, tested against the same `high`.
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

/// The identifier bits, the bits of the characters in a set and the
/// backquote bits of sixteen characters, by table lookups: `high` is the
/// shuffle of the high halves through kNibbles.high, which both share.
[[gnu::target("ssse3"), gnu::always_inline]] inline ChunkBits classify16_shuffled(__m128i c, __m128i low_first) {
  const __m128i nibble = _mm_set1_epi8(0x0F);
  const __m128i zero = _mm_setzero_si128();
  const __m128i low_half = _mm_and_si128(c, nibble);
  const __m128i high = _mm_shuffle_epi8(_mm_load_si128(reinterpret_cast<const __m128i*>(kNibbles.high)),
                                        _mm_and_si128(_mm_srli_epi16(c, 4), nibble));
  const __m128i ident = _mm_and_si128(
      _mm_shuffle_epi8(_mm_load_si128(reinterpret_cast<const __m128i*>(kNibbles.low)), low_half), high);
  const __m128i first = _mm_and_si128(_mm_and_si128(_mm_shuffle_epi8(low_first, low_half), high), ident);
  return {static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(ident, zero))) ^ 0xFFFFu,
          static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(c, _mm_set1_epi8('`')))),
          static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(first, zero))) ^ 0xFFFFu};
}

/// build_compared with classify16_shuffled; a whole word of 64
/// characters is classified in one go and stored once.
[[gnu::target("ssse3")]] void build_shuffled(ClassMasks& m, const char* base, std::size_t size,
                                             const CharSet& set) {
  const __m128i low_first = _mm_load_si128(reinterpret_cast<const __m128i*>(set.low));
  std::size_t at = 0;
  for (; size - at >= 64; at += 64) {
    ChunkBits b[4];
    for (int k = 0; k < 4; ++k) b[k] = classify16_shuffled(load16(base + at + 16 * k), low_first);
    m.ident[at / 64] = b[0].ident | b[1].ident << 16 | b[2].ident << 32 | b[3].ident << 48;
    m.backquote[at / 64] = b[0].quote | b[1].quote << 16 | b[2].quote << 32 | b[3].quote << 48;
    m.first[at / 64] = b[0].first | b[1].first << 16 | b[2].first << 32 | b[3].first << 48;
  }
  for (; at < size; at += 16) {
    unsigned drop;
    const ChunkBits b = classify16_shuffled(chunk_at(base, size, at, drop), low_first);
    put_chunk(m, at, {b.ident >> drop, b.quote >> drop, b.first >> drop});
  }
}

/// The top bits of the 32 bytes of `v`.
[[gnu::target("avx2"), gnu::always_inline]] inline std::uint64_t bits32(__m256i v) {
  return std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(v))};
}

/// build_line by classify16_shuffled.
[[gnu::target("ssse3")]] std::size_t line_shuffled(ClassMasks& m, const char* base, std::size_t limit,
                                                   const CharSet& set) {
  const __m128i low_first = _mm_load_si128(reinterpret_cast<const __m128i*>(set.low));
  for (std::size_t w = 0; w * 64 < limit; ++w) {
    BlockBits b{};
    for (unsigned k = 0; k < 4; ++k) {
      const __m128i c = load16(base + w * 64 + 16 * k);
      const ChunkBits bits = classify16_shuffled(c, low_first);
      b.ident |= bits.ident << (16 * k);
      b.quote |= bits.quote << (16 * k);
      b.first |= bits.first << (16 * k);
      b.newline |= std::uint64_t{static_cast<std::uint32_t>(_mm_movemask_epi8(equal(c, '\n')))} << (16 * k);
    }
    if (put_line_block(m, w, b, limit)) return m.size + 1;
  }
  return 0;
}

/// The same lookups on 32 characters at once, with AVX2; the tables are
/// repeated in both halves of the register, since the shuffle works on
/// each half alone. Its `first` bits are those of the set, identifier
/// characters or not: the callers limit them for a whole word at once.
[[gnu::target("avx2"), gnu::always_inline]] inline ChunkBits classify32(__m256i c, __m256i low_ident, __m256i high_bits,
                                                                      __m256i low_first) {
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  const __m256i zero = _mm256_setzero_si256();
  const __m256i low_half = _mm256_and_si256(c, nibble);
  const __m256i high = _mm256_shuffle_epi8(high_bits, _mm256_and_si256(_mm256_srli_epi16(c, 4), nibble));
  const __m256i ident = _mm256_and_si256(_mm256_shuffle_epi8(low_ident, low_half), high);
  // Not yet limited to identifier characters: the caller does that for a
  // whole word at once.
  const __m256i first = _mm256_and_si256(_mm256_shuffle_epi8(low_first, low_half), high);
  return {bits32(_mm256_cmpeq_epi8(ident, zero)) ^ 0xFFFFFFFFu, bits32(_mm256_cmpeq_epi8(c, _mm256_set1_epi8('`'))),
          bits32(_mm256_cmpeq_epi8(first, zero)) ^ 0xFFFFFFFFu};
}

[[gnu::target("avx2")]] inline __m256i load32(const char* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

[[gnu::target("avx2")]] inline __m256i repeat16(const unsigned char* table) {
  return _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(table)));
}

/// The chunk of 32 characters at `at`, read as chunk_at reads sixteen.
[[gnu::target("avx2")]] inline __m256i chunk32_at(const char* base, std::size_t size, std::size_t at,
                                                  unsigned& drop) {
  drop = 0;
  const std::size_t n = size - at;
  if (n >= 32) return load32(base + at);
  if (size >= 32) {
    drop = static_cast<unsigned>(32 - n);
    return load32(base + size - 32);
  }
  // Read unaligned: not every ABI aligns the stack to 32 bytes.
  char padded[32] = {};
  std::memcpy(padded, base + at, n);
  return load32(padded);
}

/// build_shuffled with classify32.
[[gnu::target("avx2")]] void build_wide(ClassMasks& m, const char* base, std::size_t size, const CharSet& set) {
  const __m256i low_ident = repeat16(kNibbles.low);
  const __m256i high_bits = repeat16(kNibbles.high);
  const __m256i low_first = repeat16(set.low);
  std::size_t at = 0;
  for (; size - at >= 64; at += 64) {
    const ChunkBits a = classify32(load32(base + at), low_ident, high_bits, low_first);
    const ChunkBits b = classify32(load32(base + at + 32), low_ident, high_bits, low_first);
    m.ident[at / 64] = a.ident | b.ident << 32;
    m.backquote[at / 64] = a.quote | b.quote << 32;
    m.first[at / 64] = (a.first | b.first << 32) & m.ident[at / 64];
  }
  for (; at < size; at += 32) {
    unsigned drop;
    const ChunkBits b = classify32(chunk32_at(base, size, at, drop), low_ident, high_bits, low_first);
    put_chunk(m, at, {b.ident >> drop, b.quote >> drop, (b.first & b.ident) >> drop});
  }
}

/// build_line by classify32.
[[gnu::target("avx2")]] std::size_t line_wide(ClassMasks& m, const char* base, std::size_t limit,
                                              const CharSet& set) {
  const __m256i low_ident = repeat16(kNibbles.low);
  const __m256i high_bits = repeat16(kNibbles.high);
  const __m256i low_first = repeat16(set.low);
  const __m256i newline = _mm256_set1_epi8('\n');
  for (std::size_t w = 0; w * 64 < limit; ++w) {
    const __m256i c0 = load32(base + w * 64);
    const ChunkBits a = classify32(c0, low_ident, high_bits, low_first);
    const std::uint64_t early = bits32(_mm256_cmpeq_epi8(c0, newline));
    // A line that ends in the first half of a block needs no second half.
    if (early != 0 && put_line_block(m, w, {a.ident, a.quote, a.first & a.ident, early}, limit))
      return m.size + 1;
    const __m256i c1 = load32(base + w * 64 + 32);
    const ChunkBits b = classify32(c1, low_ident, high_bits, low_first);
    const std::uint64_t breaks = early | bits32(_mm256_cmpeq_epi8(c1, newline)) << 32;
    const std::uint64_t ident = a.ident | b.ident << 32;
    if (put_line_block(m, w, {ident, a.quote | b.quote << 32, (a.first | b.first << 32) & ident, breaks}, limit))
      return m.size + 1;
  }
  return 0;
}

/// Whether the processor has AVX2.
bool have_wide() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

/// Whether the processor has SSSE3.
bool have_shuffle() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("ssse3");
}

const bool kHaveWide = have_wide();
const bool kHaveShuffle = have_shuffle();

#endif

/// Whether this machine can classify by `method`.
bool available(ClassMethod method) {
  switch (method) {
    case ClassMethod::Wide:
#if defined(KUP_SHUFFLE_CLASSES)
      return kHaveWide;
#else
      return false;
#endif
    case ClassMethod::Shuffle:
#if defined(KUP_SHUFFLE_CLASSES)
      return kHaveShuffle;
#else
      return false;
#endif
    case ClassMethod::Compare:
#if defined(__SSE2__)
      return true;
#else
      return false;
#endif
    case ClassMethod::Scalar:
      return true;
  }
  return false;
}

/// The fastest method this machine has.
ClassMethod best_method() {
  for (ClassMethod m : {ClassMethod::Wide, ClassMethod::Shuffle, ClassMethod::Compare})
    if (available(m)) return m;
  return ClassMethod::Scalar;
}

/// The method build() uses: a choice of the process, not of a run.
ClassMethod class_method = best_method();

}  // namespace

bool use_class_method(ClassMethod method) {
  if (!available(method)) return false;
  class_method = method;
  return true;
}

void use_best_class_method() { class_method = best_method(); }

std::size_t ClassMasks::build_line(const char* base, std::size_t available, std::size_t limit,
                                   const CharSet& first_set) {
  text = base;
  limit = std::min(available, limit);
  switch (class_method) {
#if defined(KUP_SHUFFLE_CLASSES)
    case ClassMethod::Wide:
      return line_wide(*this, base, limit, first_set);
    case ClassMethod::Shuffle:
      return line_shuffled(*this, base, limit, first_set);
#endif
#if defined(__SSE2__)
    case ClassMethod::Compare:
      return line_compared(*this, base, limit);
#endif
    default:
      return line_by_characters(*this, base, limit, first_set);
  }
}

void ClassMasks::build(const char* base, std::size_t text_size, const CharSet& first_set) {
  text = base;
  size = text_size;
  // Every word up to the one holding the end, which is left with its bits
  // past the end clear.
  words = size / 64 + 1;
  // Every chunk clears the word it begins; the last word may have none.
  ident[words - 1] = backquote[words - 1] = first[words - 1] = 0;
  switch (class_method) {
#if defined(KUP_SHUFFLE_CLASSES)
    case ClassMethod::Wide:
      build_wide(*this, base, size, first_set);
      return;
    case ClassMethod::Shuffle:
      build_shuffled(*this, base, size, first_set);
      return;
#endif
#if defined(__SSE2__)
    case ClassMethod::Compare:
      build_compared(*this, base, size);
      return;
#endif
    default:
      build_scalar(*this, base, size, first_set);
  }
}

}  // namespace kup
