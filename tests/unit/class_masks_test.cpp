// Class masks: one bit per character as the character class table has it,
// at every place in the 64-character words, and the two searches over them.
#include <gtest/gtest.h>

#include <string>

#include "macros/class_masks.h"
#include "text/char_classes.h"

namespace kup {
namespace {

bool bit(const std::uint64_t* mask, std::size_t i) { return (mask[i / 64] >> (i % 64)) & 1; }

/// A set of a few characters, for the masks' `first` bits.
CharSet some_characters() {
  CharSet set;
  for (unsigned char c : std::string_view("N$x_09@`~ "))
    set.add(c);
  return set;
}

/// Whether byte `c` gets a `first` bit: an identifier character of the
/// set; every identifier character where build() classifies by comparisons.
bool first_bit(char c, const CharSet& set, bool exact) {
  return ctype::is(c, ctype::kIdent) && (!exact || set.has(static_cast<unsigned char>(c)));
}

/// Checks the masks of every byte at every offset, as build() makes them
/// now; `exact` when the `first` bits are those of the set alone.
void check_every_byte_at_every_offset(bool exact) {
  const CharSet set = some_characters();
  std::string all;
  for (int c = 0; c < 256; ++c) all.push_back(static_cast<char>(c));
  ClassMasks m;
  // Shifted through every offset of a word, with texts ending anywhere in
  // a chunk of sixteen.
  for (std::size_t shift = 0; shift < 64; ++shift) {
    const std::string text = std::string(shift, 'a') + all + std::string(shift % 17, ' ');
    m.build(text.data(), text.size(), set);
    ASSERT_EQ(m.words, text.size() / 64 + 1);
    for (std::size_t i = 0; i < text.size(); ++i) {
      const char c = text[i];
      ASSERT_EQ(bit(m.ident, i), ctype::is(c, ctype::kIdent)) << "byte " << int(c & 0xff);
      ASSERT_EQ(bit(m.backquote, i), c == '`') << "byte " << int(c & 0xff);
      ASSERT_EQ(bit(m.first, i), first_bit(c, set, exact)) << "byte " << int(c & 0xff);
    }
    // Nothing is set past the end.
    for (std::size_t i = text.size(); i < m.words * 64; ++i) {
      ASSERT_FALSE(bit(m.ident, i));
      ASSERT_FALSE(bit(m.backquote, i));
      ASSERT_FALSE(bit(m.first, i));
    }
  }
  // Short texts, and texts whose last chunk is read back from their end,
  // each cut out of the middle of a longer text.
  const std::string mixed = "a` \tb_9@+[x] \n`" + all;
  for (std::size_t size = 0; size < 70; ++size) {
    const char* text = mixed.data() + 3;
    m.build(text, size, set);
    for (std::size_t i = 0; i < m.words * 64; ++i) {
      const bool in = i < size;
      ASSERT_EQ(bit(m.ident, i), in && ctype::is(text[i], ctype::kIdent)) << size << " " << i;
      ASSERT_EQ(bit(m.backquote, i), in && text[i] == '`') << size << " " << i;
      ASSERT_EQ(bit(m.first, i), in && first_bit(text[i], set, exact)) << size << " " << i;
    }
  }
}

TEST(ClassMasks, EveryByteGetsTheBitsOfItsClassesAtEveryOffset) {
  // Every way of classifying the machine has; the scalar one everywhere.
  EXPECT_TRUE(use_class_method(ClassMethod::Scalar));
  for (ClassMethod method : {ClassMethod::Wide, ClassMethod::Shuffle, ClassMethod::Compare, ClassMethod::Scalar}) {
    SCOPED_TRACE(static_cast<int>(method));
    if (!use_class_method(method)) continue;
    check_every_byte_at_every_offset(method != ClassMethod::Compare);
  }
  use_best_class_method();
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
