#include "macros/class_masks.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "text/char_classes.h"

// The byte shuffle of SSSE3 and the 32-byte registers of AVX2 are not part
// of the x86-64 baseline: each is used in a function compiled for it, when
// the processor says it has it.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define KUP_SHUFFLE_CLASSES 1
#include <immintrin.h>
#endif

namespace kup {

namespace {

// Each way supplies one primitive: the bits of the 32 characters at a
// pointer, half a block. The loop over the blocks of a text is written
// once, below, and calls the primitive of the way chosen at start-up; a
// text read in place that ends in the first half of a block needs no
// second.

/// The bits of half a block, 32 characters, bit i for character i.
struct HalfBits {
  std::uint32_t ident = 0;
  std::uint32_t quote = 0;
  std::uint32_t first = 0;
};

/// The primitive of the scalar way: the class table, a character at a
/// time. Every other way must give exactly its bits.
inline HalfBits classify_by_characters(const char* half, const CharSet& set) {
  HalfBits b;
  for (unsigned i = 0; i < 32; ++i) {
    const char c = half[i];
    const bool ident = ctype::is(c, ctype::kIdent);
    b.ident |= std::uint32_t{ident} << i;
    b.quote |= std::uint32_t{c == '`'} << i;
    b.first |= std::uint32_t{ident && set.has(static_cast<unsigned char>(c))} << i;
  }
  return b;
}

using HalfClassifier = HalfBits (*)(const char* half, const CharSet& set);

/// The bits of the two halves of a block, `low` first.
inline BlockBits join_halves(const HalfBits& low, const HalfBits& high) {
  const auto join = [](std::uint32_t a, std::uint32_t b) { return std::uint64_t{a} | std::uint64_t{b} << 32; };
  return {join(low.ident, high.ident), join(low.quote, high.quote), join(low.first, high.first)};
}

/// The bits of the 64 characters at `block`.
template <HalfClassifier classify>
inline BlockBits classify_block(const char* block, const CharSet& set) {
  return join_halves(classify(block, set), classify(block + 32, set));
}

/// The bits of the `n` (fewer than 64) characters at `p`, read from a
/// copy so that nothing past them is read; NULs, of no class, fill the
/// rest of the block.
template <HalfClassifier classify>
inline BlockBits classify_short_block(const char* p, std::size_t n, const CharSet& set) {
  alignas(64) char block[64] = {};
  std::memcpy(block, p, n);
  return classify_block<classify>(block, set);
}

/// The bits of the block at `p`, `left` characters before the text's end,
/// read as classify_blocks says: a last block read in place from padded
/// storage stops after the half that holds the end.
template <HalfClassifier classify>
inline BlockBits classify_block_at(const char* p, std::size_t left, bool padded, const CharSet& set) {
  if (left >= 64) return classify_block<classify>(p, set);
  if (left == 0) return {};
  if (!padded) return classify_short_block<classify>(p, left, set);
  if (left <= 32) return join_halves(classify(p, set), HalfBits{});
  return classify_block<classify>(p, set);
}

/// The one loop over the blocks of a text: classifies [base, base +
/// size) into `m`, 64 characters at a time, by the primitive `classify`.
/// With `padded` the storage is readable kLineSlack bytes past `size`,
/// and the last block is read in place. Each way compiles it with its
/// primitive inlined.
template <HalfClassifier classify>
inline void classify_blocks(ClassMasks& m, const char* base, std::size_t size, bool padded, const CharSet& set) {
  m.text = base;
  m.size = size;
  for (std::size_t w = 0;; ++w) {
    const std::size_t left = size - w * 64;
    const BlockBits b = classify_block_at<classify>(base + w * 64, left, padded, set);
    const std::uint64_t keep = left >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << left) - 1;
    m.ident[w] = b.ident & keep;
    m.backquote[w] = b.quote & keep;
    m.first[w] = b.first & keep;
    if (left < 64) {
      m.words = w + 1;
      return;
    }
  }
}

/// What a way supplies to ClassMasks: the loop compiled with its
/// primitive, for texts in padded storage and for any text.
struct WayLoops {
  void (*padded)(ClassMasks& m, const char* base, std::size_t size, const CharSet& set);
  void (*text)(ClassMasks& m, const char* base, std::size_t size, const CharSet& set);
};

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

// The shuffle ways: one primitive and its loops, included once per way
// in a region compiled for its instructions (every function defined there
// gets them).
#define KUP_PRAGMA(text) _Pragma(#text)
#if defined(__clang__)
#define KUP_BEGIN_TARGET(isa) KUP_PRAGMA(clang attribute push(__attribute__((target(isa))), apply_to = function))
#define KUP_END_TARGET KUP_PRAGMA(clang attribute pop)
#else
#define KUP_BEGIN_TARGET(isa) KUP_PRAGMA(GCC push_options) KUP_PRAGMA(GCC target(isa))
#define KUP_END_TARGET KUP_PRAGMA(GCC pop_options)
#endif

KUP_BEGIN_TARGET("ssse3")
namespace ssse3 {
using Bytes = unsigned char __attribute__((vector_size(16)));
#include "macros/class_shuffles.inc"
}  // namespace ssse3
KUP_END_TARGET

KUP_BEGIN_TARGET("avx2")
namespace avx2 {
using Bytes = unsigned char __attribute__((vector_size(32)));
#include "macros/class_shuffles.inc"
}  // namespace avx2
KUP_END_TARGET

bool processor_has_ssse3() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("ssse3");
}

bool processor_has_avx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

#endif

// The loops of the scalar way, with its primitive inlined (each shuffle
// way has its own in class_shuffles.inc).

[[gnu::flatten]] void padded_by_characters(ClassMasks& m, const char* base, std::size_t size, const CharSet& set) {
  classify_blocks<classify_by_characters>(m, base, size, true, set);
}

[[gnu::flatten]] void text_by_characters(ClassMasks& m, const char* base, std::size_t size, const CharSet& set) {
  classify_blocks<classify_by_characters>(m, base, size, false, set);
}

/// The loops of `way`; the scalar ones where the build lacks `way`.
WayLoops loops_of(SimdWay way) {
#if defined(KUP_SHUFFLE_CLASSES)
  if (way == SimdWay::Avx2) return {avx2::padded_loop, avx2::text_loop};
  if (way == SimdWay::Ssse3) return {ssse3::padded_loop, ssse3::text_loop};
#else
  (void)way;
#endif
  return {padded_by_characters, text_by_characters};
}

/// The way chosen, and its loops: a choice of the process.
struct Choice {
  SimdWay way;
  WayLoops loops;
};

Choice best_choice() {
  const SimdWay way = best_simd_way();
  return {way, loops_of(way)};
}

Choice choice = best_choice();

}  // namespace

std::string_view simd_way_name(SimdWay way) {
  switch (way) {
    case SimdWay::Ssse3:
      return "ssse3";
    case SimdWay::Avx2:
      return "avx2";
    case SimdWay::Scalar:
      break;
  }
  return "scalar";
}

std::optional<SimdWay> simd_way_named(std::string_view name) {
  for (SimdWay way : kSimdWays)
    if (simd_way_name(way) == name) return way;
  return std::nullopt;
}

bool simd_way_available(SimdWay way) {
  switch (way) {
    case SimdWay::Scalar:
      return true;
#if defined(KUP_SHUFFLE_CLASSES)
    case SimdWay::Ssse3:
      return processor_has_ssse3();
    case SimdWay::Avx2:
      return processor_has_avx2();
#endif
    default:
      return false;
  }
}

SimdWay best_simd_way() {
  SimdWay best = SimdWay::Scalar;
  for (SimdWay way : kSimdWays)
    if (simd_way_available(way)) best = way;
  return best;
}

void use_simd_way(SimdWay way) { choice = {way, loops_of(way)}; }

SimdWay current_simd_way() { return choice.way; }

void ClassMasks::build_padded(const char* base, std::size_t text_size, const CharSet& first_set) {
  choice.loops.padded(*this, base, text_size, first_set);
}

void ClassMasks::build(const char* base, std::size_t text_size, const CharSet& first_set) {
  choice.loops.text(*this, base, text_size, first_set);
}

}  // namespace kup
