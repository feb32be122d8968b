// The name index on a pool of its own: names that collide in their home
// slot and hash bits still told apart at every length the comparison
// treats differently, probe runs that wrap past the last slot, the counts
// by shape and first byte, and numbered names spread over the slots.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "macros/macro_table.h"
#include "macros/name_index.h"

namespace kup {
namespace {

using name_index::hash_name;
using name_index::home_slot;
using name_index::kSlots;
using name_index::tag_of;

/// An index and the pool of entries it counts in.
class IndexUnderTest {
 public:
  IndexUnderTest() : index_(std::make_unique<NameIndex>()), pool_(kPoolSize) { index_->use_entries(pool_.data()); }

  /// Adds `name` (absent) as the next entry of the pool.
  MacroEntry* add(const std::string& name) {
    MacroEntry* entry = &pool_[used_];
    entry->assign_name(name);
    const IndexPlace where = index_->locate(name);
    EXPECT_EQ(where.entry, nullptr) << name;
    index_->insert(where, used_++, entry->name());
    return entry;
  }
  MacroEntry* find(const std::string& name) { return index_->find(name); }
  void erase(const std::string& name) { index_->erase(name); }
  int longest_probe() const { return index_->longest_probe(); }
  const NameIndex& index() const { return *index_; }

 private:
  std::unique_ptr<NameIndex> index_;  // 80 KB: not on the stack
  std::vector<MacroEntry> pool_;
  std::size_t used_ = 0;
};

/// A `length`-character name: `stem`, then letters and digits chosen by
/// `i` with no pattern to them (numbered names spread over the slots
/// without ever colliding).
std::string some_name(const std::string& stem, std::size_t length, std::uint32_t i) {
  std::string name = stem;
  std::uint64_t bits = (i + 1) * 0x9E3779B97F4A7C15ULL;
  while (name.size() < length) {
    bits ^= bits >> 29;
    bits *= 0xBF58476D1CE4E5B9ULL;
    name += "0123456789abcdefghijklmnopqrstuvwxyz"[(bits >> 40) % 36];
  }
  return name;
}

/// Two names of `length` characters that begin with `stem`, differ after
/// it, and have the same home slot and slot bits, so that only comparing
/// the names tells them apart: a search among 2^17 names, where about
/// eight such pairs are expected.
std::pair<std::string, std::string> colliding_names(const std::string& stem, std::size_t length) {
  std::vector<std::pair<std::uint32_t, std::uint32_t>> keys;
  for (std::uint32_t i = 0; i < (1u << 17); ++i) {
    const std::uint64_t hash = hash_name(some_name(stem, length, i));
    keys.emplace_back(static_cast<std::uint32_t>(home_slot(hash) << 16 | tag_of(hash)), i);
  }
  std::sort(keys.begin(), keys.end());
  for (std::size_t k = 1; k < keys.size(); ++k) {
    if (keys[k].first != keys[k - 1].first) continue;
    std::string a = some_name(stem, length, keys[k - 1].second);
    std::string b = some_name(stem, length, keys[k].second);
    if (a != b) return {a, b};
  }
  ADD_FAILURE() << "no colliding names of length " << length;
  return {};
}

TEST(NameIndex, CollidingNamesAreToldApartAtEveryLength) {
  // The lengths the comparison treats apart: under a word, two words
  // whose first is shared, the head kept in the entry (differing in its
  // middle word), and past the head.
  const struct {
    std::size_t length;
    std::string stem;
  } kCases[] = {
      {5, ""},
      {12, "SHARED_W"},
      {16, "SHARED_W"},
      {40, "SHARED_PREFIX_OF_A_LONG_NAME_"},
      {100, std::string(92, 'p')},
  };
  for (const auto& c : kCases) {
    const auto [a, b] = colliding_names(c.stem, c.length);
    ASSERT_NE(a, b);
    IndexUnderTest t;
    MacroEntry* first = t.add(a);
    EXPECT_EQ(t.find(b), nullptr) << a << " ~ " << b;
    MacroEntry* second = t.add(b);
    EXPECT_EQ(t.find(a), first) << a;
    EXPECT_EQ(t.find(b), second) << b;
    EXPECT_EQ(t.longest_probe(), 2);
    t.erase(a);
    EXPECT_EQ(t.find(a), nullptr) << a;
    EXPECT_EQ(t.find(b), second) << b;
    EXPECT_EQ(t.longest_probe(), 1);
  }
}

/// The first `count` names whose home is `slot`.
std::vector<std::string> names_homed_at(std::size_t slot, int count) {
  std::vector<std::string> names;
  for (std::uint32_t i = 0; static_cast<int>(names.size()) < count; ++i) {
    std::string name = some_name("w", 6, i);
    if (home_slot(hash_name(name)) == slot) names.push_back(std::move(name));
  }
  return names;
}

TEST(NameIndex, AProbeRunWrapsPastTheLastSlot) {
  const std::vector<std::string> last = names_homed_at(kSlots - 1, 2);
  const std::vector<std::string> first = names_homed_at(0, 1);
  IndexUnderTest t;
  // The second name of the last slot takes slot 0, which pushes the name
  // of slot 0 one further: both are a probe of two slots.
  for (const std::string& name : {last[0], last[1], first[0]}) t.add(name);
  for (const std::string& name : {last[0], last[1], first[0]}) EXPECT_NE(t.find(name), nullptr) << name;
  EXPECT_EQ(t.longest_probe(), 2);
  // Erasing the first moves both back across the end, to their homes.
  t.erase(last[0]);
  EXPECT_EQ(t.find(last[0]), nullptr);
  EXPECT_NE(t.find(last[1]), nullptr);
  EXPECT_NE(t.find(first[0]), nullptr);
  EXPECT_EQ(t.longest_probe(), 1);
}

TEST(NameIndex, CountsNamesByShapeAndFirstByte) {
  IndexUnderTest t;
  EXPECT_FALSE(t.index().may_hold("abc"));
  t.add("abc");
  EXPECT_TRUE(t.index().may_hold("axy"));  // the same first byte and length
  EXPECT_FALSE(t.index().may_hold("ab"));
  EXPECT_FALSE(t.index().may_hold("bbc"));
  // Lengths are counted modulo kShapeLengths.
  EXPECT_TRUE(t.index().may_hold("a" + std::string(name_index::kShapeLengths + 2, 'z')));
  EXPECT_EQ(t.find("axy"), nullptr);
  EXPECT_EQ(t.find(""), nullptr);
  t.add("a12345");
  t.erase("abc");
  EXPECT_FALSE(t.index().may_hold("abc"));
  EXPECT_TRUE(t.index().first_bytes().has('a'));
  t.erase("a12345");
  EXPECT_FALSE(t.index().first_bytes().has('a'));
  EXPECT_EQ(t.index().first_bytes(), CharSet{});
}

/// A family of 999 names as templates number them.
struct NameFamily {
  const char* label;
  std::string (*name)(int i);
};

/// printf into a std::string, for the families below.
template <class... Args>
std::string printed(const char* pattern, Args... args) {
  char text[80];
  std::snprintf(text, sizeof text, pattern, args...);
  return text;
}

const NameFamily kNameFamilies[] = {
    {"number at the end", [](int i) { return printed("NAME%d", i); }},
    {"padded number, suffix", [](int i) { return printed("ITEM_%03d_SIZE", i); }},
    {"number in the middle", [](int i) { return printed("port%d_speed", i); }},
    {"one letter and digits", [](int i) { return printed("x%d", i); }},
    {"bracketed index", [](int i) { return printed("x[%d]", i); }},
    {"list element of a list", [](int i) { return printed("table[%d][%d]", i / 32, i % 32); }},
    {"long shared prefix", [](int i) { return printed("APP_CONFIG_SECTION_DATABASE_OPTION_%d", i); }},
    {"one byte differs", [](int i) {
       // 40 letters; letter i % 26 + 'A' at place i / 26 (no two alike).
       std::string text(40, 'q');
       text[static_cast<std::size_t>(i / 26)] = static_cast<char>('A' + i % 26);
       return text;
     }},
};

TEST(NameIndex, NumberedNamesSpreadOverTheSlots) {
  // 999 names of one pattern: a hash that loses the last bytes of a short
  // name or the middle of a long one crowds them into a few home slots.
  for (const NameFamily& family : kNameFamilies) {
    IndexUnderTest t;
    for (int i = 0; i < kMaxMacros; ++i) t.add(family.name(i));
    EXPECT_LE(t.longest_probe(), 24) << family.label;
  }
}

}  // namespace
}  // namespace kup
