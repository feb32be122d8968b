// Class masks: one bit per character as the character class table has it,
// at every place in the 64-character blocks, in every way of classifying
// (a way the machine lacks is skipped by name), and the two searches over
// them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "macros/class_masks.h"
#include "simd_way_support.h"
#include "text/char_classes.h"

namespace kup {
namespace {

bool bit(const std::uint64_t* mask, std::size_t i) { return (mask[i / 64] >> (i % 64)) & 1; }

/// A set of a few characters, for the masks' `first` bits.
CharSet some_characters() {
  CharSet set;
  for (unsigned char c : std::string_view("N$x_09@`~ |")) set.add(c);
  return set;
}

/// Every byte value once, identifier characters spread among the others.
std::string every_byte() {
  std::string all;
  for (int c = 0; c < 256; ++c) all.push_back(static_cast<char>((c * 97) & 0xFF));
  return all;
}

/// Checks the masks against the class table, character by character, and
/// that nothing is set from `size` to the end of the last word.
void expect_masks_of(const ClassMasks& m, const char* text, std::size_t size, const CharSet& set) {
  ASSERT_EQ(m.size, size);
  ASSERT_EQ(m.words, size / 64 + 1);
  for (std::size_t i = 0; i < m.words * 64; ++i) {
    const bool in = i < size;
    const char c = in ? text[i] : 0;
    const bool ident = in && ctype::is(c, ctype::kIdent);
    ASSERT_EQ(bit(m.ident, i), ident) << "at " << i << " byte " << int(c & 0xff) << " size " << size;
    ASSERT_EQ(bit(m.backquote, i), in && c == '`') << "at " << i << " size " << size;
    ASSERT_EQ(bit(m.first, i), ident && set.has(static_cast<unsigned char>(c))) << "at " << i << " size " << size;
  }
}

/// One test per way of classifying; a way the machine lacks is skipped.
class ClassMasksWay : public testing::TestWithParam<SimdWay> {
 protected:
  void SetUp() override {
    KUP_FORCE_SIMD_WAY_OR_SKIP(GetParam());
  }
  void TearDown() override { use_simd_way(best_simd_way()); }
};

TEST_P(ClassMasksWay, EveryByteGetsTheBitsOfItsClassesAtEveryOffsetOfEveryBlock) {
  const CharSet set = some_characters();
  const std::string all = every_byte();
  ClassMasks m;
  // Every byte at every offset of a block, in every block of the longest
  // text, the text ending anywhere in a block.
  for (std::size_t shift = 0; shift < 64; ++shift) {
    std::string text = std::string(shift, 'a') + all + all + all;
    text.resize(kMaskedTextMax - 63 + shift, '_');
    m.build(text.data(), text.size(), set);
    expect_masks_of(m, text.data(), text.size(), set);
  }
  // Short texts, cut out of the middle of a longer one: nothing past their
  // end is classified.
  const std::string long_text = "a` \tb_9@+[x] \n`" + all + all;
  for (std::size_t size = 0; size <= 200; ++size) {
    m.build(long_text.data() + 3, size, set);
    expect_masks_of(m, long_text.data() + 3, size, set);
  }
}

TEST_P(ClassMasksWay, ATextInPaddedStorageGetsNoBitsFromWhatLiesPastIt) {
  const CharSet set = some_characters();
  const std::string all = every_byte();
  ClassMasks m;
  std::string body;
  while (body.size() < kMaskedTextMax) body += all;
  for (std::size_t length = 0; length <= kMaskedTextMax; ++length) {
    // The text, then a next line and slack of identifier characters and
    // backquotes, read in place but outside the text.
    const std::string storage = body.substr(0, length) + "\nx`" + std::string(kLineSlack, 'N');
    m.build_padded(storage.data(), length, set);
    expect_masks_of(m, storage.data(), length, set);
  }
}

INSTANTIATE_TEST_SUITE_P(, ClassMasksWay, testing::ValuesIn(kSimdWays), test_support::simd_way_test_name);

TEST(ClassMasks, WaysAreNamedAndTheBestIsAvailable) {
  for (SimdWay way : kSimdWays) EXPECT_EQ(simd_way_named(simd_way_name(way)), way);
  EXPECT_FALSE(simd_way_named("sse2"));
  EXPECT_FALSE(simd_way_named("AVX2"));
  EXPECT_TRUE(simd_way_available(SimdWay::Scalar));
  EXPECT_TRUE(simd_way_available(best_simd_way()));
  EXPECT_EQ(current_simd_way(), best_simd_way());
}

TEST(ClassMasks, ACharacterSetHoldsWhatWasAddedAndNotRemoved) {
  CharSet set;
  set.add('N');
  set.add('$');
  set.add('n');
  set.remove('n');
  for (int c = 0; c < 256; ++c)
    EXPECT_EQ(set.has(static_cast<unsigned char>(c)), c == 'N' || c == '$') << c;
}

TEST(ClassMasks, SearchesStopAtTheEndOfARunOrOfTheText) {
  ClassMasks m;
  const std::string run(200, 'x');
  for (std::size_t size : {0u, 1u, 63u, 64u, 65u, 127u, 128u, 200u}) {
    m.build(run.data(), size, CharSet{});
    EXPECT_EQ(m.ident_end(0), size);
    EXPECT_EQ(m.content_end(), size);
  }
  const std::string text = std::string(70, 'y') + "+z  \t\n" + std::string(60, ' ');
  m.build(text.data(), text.size(), CharSet{});
  EXPECT_EQ(m.ident_end(0), 70u);
  EXPECT_EQ(m.ident_end(69), 70u);
  EXPECT_EQ(m.ident_end(70), 70u);
  EXPECT_EQ(m.ident_end(71), 72u);
  EXPECT_EQ(m.content_end(), 72u);
  const std::string blank(130, ' ');
  m.build(blank.data(), blank.size(), CharSet{});
  EXPECT_EQ(m.content_end(), 0u);
}

}  // namespace
}  // namespace kup
