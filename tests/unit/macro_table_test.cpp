// The macro table and the prefix table: order of definition and positions,
// the warnings of redefinition and removal, lists removed with their
// elements, the limit of 999 macros, the identifier rule, prefixes, and the
// table checked against a plain model under random use.
#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "spine_test_support.h"
#include "driver/driver.h"
#include "macros/macro_table.h"

namespace kup {
namespace {

using test_support::ErrCapture;
using test_support::fault_text;
using test_support::kCommandLine;

class MacroTable : public test_support::FreshRun {};
class PrefixTable : public test_support::FreshRun {};

/// The names of the table, oldest first.
std::vector<std::string> names_in_order() {
  std::vector<std::string> names;
  for (const MacroEntry* e = oldest_macro(); e != nullptr; e = e->newer) names.emplace_back(e->name());
  return names;
}

using Names = std::vector<std::string>;

/// The value of the macro `name` as its readers see it.
std::string value_of(std::string_view name) {
  std::string scratch;
  return std::string(macro_value(find_macro(name), scratch));
}

/// The text `stem` followed by the number `i`.
std::string numbered(std::string_view stem, int i) {
  std::string text(stem);
  text += std::to_string(i);
  return text;
}

/// The listing of one macro.
std::string listing_of(std::string_view name) {
  ErrCapture err;
  list_macro(name);
  return err.text();
}

TEST_F(MacroTable, KeepsTheOrderOfDefinition) {
  EXPECT_EQ(define_macro("a", "1"), 1);
  EXPECT_EQ(define_macro("b", "2"), 2);
  EXPECT_EQ(define_macro("c", "3"), 3);
  EXPECT_EQ(names_in_order(), (Names{"a", "b", "c"}));
  EXPECT_EQ(listing_of("b"), "[  2]:  (  global)  b\t\t<2>\n");
  {
    ErrCapture err;
    EXPECT_EQ(list_macro("b"), 2);
    EXPECT_EQ(list_macro("$ALL$"), 3);
    EXPECT_EQ(list_macro("nothing"), -1);
    EXPECT_EQ(list_macro("1 2"), -1);
    EXPECT_EQ(err.text(),
              "[  2]:  (  global)  b\t\t<2>\n"
              "[  1]:  (  global)  a\t\t<1>\n"
              "[  2]:  (  global)  b\t\t<2>\n"
              "[  3]:  (  global)  c\t\t<3>\n"
              "[  ?]:  ( unknown)  nothing\n"
              "[  ?]:  ( unknown)  1 2\n");
  }
}

TEST_F(MacroTable, RedefinitionMovesTheEntryToTheEnd) {
  define_macro("a", "1");
  define_macro("b", "2");
  define_macro("c", "3");
  ErrCapture err;
  EXPECT_EQ(define_macro("a", "1"), 3);
  EXPECT_EQ(err.take(), "");  // the same value: no warning
  EXPECT_EQ(names_in_order(), (Names{"b", "c", "a"}));
  EXPECT_EQ(define_macro("b", "other"), 3);
  EXPECT_EQ(err.take(), std::string(kCommandLine) + "KUP warning - macro <b> was already defined\n");
  EXPECT_EQ(names_in_order(), (Names{"c", "a", "b"}));
  EXPECT_EQ(value_of("b"), "other");
  EXPECT_EQ(macro_count(), 3);
}

TEST_F(MacroTable, WarningModeOffSilencesBothWarnings) {
  modes.warning = false;
  define_macro("a", "1");
  ErrCapture err;
  define_macro("a", "2");
  EXPECT_EQ(remove_macro("zz"), -1);
  EXPECT_EQ(err.text(), "");
  EXPECT_EQ(value_of("a"), "2");
}

TEST_F(MacroTable, AValueMayViewTheEntryItReplaces) {
  define_macro("a", "some long value that is no short string");
  const MacroEntry* entry = find_macro("a");
  ErrCapture err;
  define_macro(entry->name(), entry->value);
  EXPECT_EQ(err.text(), "");
  EXPECT_EQ(value_of("a"), "some long value that is no short string");
}

TEST_F(MacroTable, AFreedEntryTakesANameOfAnyLength) {
  // Names up to the entry's head are kept there alone, longer ones as a
  // string too; an entry freed by one is named anew by the other, and a
  // name may view the entry it is about to name.
  const std::string head(kNameHead, 'h');
  const std::string longer = head + "_tail";
  for (const auto& [first, second] : {std::pair{longer, head}, std::pair{head, longer},
                                      std::pair{longer, std::string("s")}}) {
    define_macro(first, "1");
    remove_macro(first);
    define_macro(second, "2");
    EXPECT_EQ(find_macro(first), nullptr);
    ASSERT_NE(find_macro(second), nullptr);
    EXPECT_EQ(find_macro(second)->name(), second);
    const std::string_view own = find_macro(second)->name();
    remove_macro(own);
    define_macro(own, "3");
    EXPECT_EQ(names_in_order(), (Names{second}));
    EXPECT_EQ(listing_of(second), "[  1]:  (  global)  " + second + "\t\t<3>\n");
    remove_macro(second);
  }
}

TEST_F(MacroTable, AValueBesideTheLongestNearNameIsMovedFromTheFirstLine) {
  // Expansion moves sixteen bytes from after the name: for the longest
  // name that keeps its value there, they end with the entry's first line.
  const std::string name(kNearNameMax, 'n');
  define_macro(name, "value");
  const MacroEntry* entry = find_macro(name);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->near_size, 5);
  EXPECT_LE(entry->name_head + entry->name_size + 16, reinterpret_cast<const char*>(entry) + 64);
}

TEST_F(MacroTable, ADefinitionAtAStalePlaceFindsItsNameAgain) {
  define_macro("a", "1");
  const IndexPlace where = locate_macro("a");
  remove_macro("a");
  define_macro("b", "2");  // takes the entry the place still names
  define_checked_macro("a", "3", where);
  EXPECT_EQ(value_of("a"), "3");
  EXPECT_EQ(value_of("b"), "2");
  EXPECT_EQ(names_in_order(), (Names{"b", "a"}));
}

TEST_F(MacroTable, RemovalRenumbersTheLaterEntries) {
  define_macro("a", "1");
  define_macro("b", "2");
  define_macro("c", "3");
  ErrCapture err;
  EXPECT_EQ(remove_macro("nothing"), -1);
  EXPECT_EQ(err.take(),
            std::string(kCommandLine) + "KUP warning - attempt to remove an undefined macro <nothing>\n");
  EXPECT_EQ(names_in_order(), (Names{"a", "b", "c"}));
  EXPECT_EQ(remove_macro("a"), 2);
  EXPECT_EQ(find_macro("a"), nullptr);
  EXPECT_EQ(list_macro("c"), 2);
  EXPECT_EQ(err.take(), "[  2]:  (  global)  c\t\t<3>\n");
  EXPECT_EQ(remove_macro("c"), 1);
  EXPECT_EQ(remove_macro("b"), 0);
  EXPECT_EQ(oldest_macro(), nullptr);
  EXPECT_EQ(list_macro("$ALL$"), 0);
  EXPECT_EQ(err.take(), "");
}

TEST_F(MacroTable, ARemovedListTakesItsElementsUpToTheFirstGap) {
  define_macro("x", kListMarker);
  define_macro("x[0]", "a");
  define_macro("x[1]", std::string(kListMarker));
  define_macro("x[1][0]", "p");
  define_macro("x[1][1]", "q");
  define_macro("x[2]", "c");
  define_macro("x[4]", "behind a gap");
  define_macro("y", "1");
  EXPECT_EQ(value_of("x"), "a,p,q,c");
  EXPECT_EQ(value_of("x[1]"), "p,q");
  EXPECT_EQ(listing_of("x"), "[  1]:  (  global)  x\t\t<$LIST$>\n");
  EXPECT_EQ(remove_macro("x"), 2);
  EXPECT_EQ(names_in_order(), (Names{"x[4]", "y"}));
}

TEST_F(MacroTable, AGapHidesTheLaterElements) {
  define_macro("x", kListMarker);
  define_macro("x[0]", "a");
  define_macro("x[1]", "b");
  define_macro("x[2]", "c");
  remove_macro("x[1]");
  EXPECT_EQ(value_of("x"), "a");
  remove_macro("x[0]");
  EXPECT_EQ(value_of("x"), "");
  EXPECT_EQ(remove_macro("x"), 1);
  EXPECT_EQ(names_in_order(), (Names{"x[2]"}));
}

TEST_F(MacroTable, RedefiningAListWarnsAndDropsItsElements) {
  define_macro("x", kListMarker);
  define_macro("x[0]", "a");
  ErrCapture err;
  define_macro("x", kListMarker);
  EXPECT_EQ(err.take(), "");  // the same stored value
  EXPECT_EQ(find_macro("x[0]"), nullptr);
  define_macro("x[0]", "a");
  define_macro("x", "a");
  EXPECT_EQ(err.take(), std::string(kCommandLine) + "KUP warning - macro <x> was already defined\n");
  EXPECT_EQ(names_in_order(), (Names{"x"}));
}

TEST_F(MacroTable, ComposedValuesUpTo1023CharactersFit) {
  define_macro("x", kListMarker);
  define_macro("x[0]", std::string(511, 'a'));
  define_macro("x[1]", std::string(511, 'b'));
  EXPECT_EQ(value_of("x").size(), 1023u);
  modes.warning = false;
  define_macro("x[1]", std::string(512, 'b'));
  EXPECT_EQ(fault_text([] { value_of("x"); }),
            std::string(kCommandLine) +
                "KUP error - unable to build list definition, string too long (max = 1024)\n");
}

TEST_F(MacroTable, TheThousandthMacroEndsTheRun) {
  for (int i = 1; i <= kMaxMacros; ++i) ASSERT_EQ(define_macro(numbered("m", i), "v"), i);
  // A redefinition keeps the count.
  EXPECT_EQ(define_macro("m1", "v"), kMaxMacros);
  EXPECT_EQ(fault_text([] { define_macro("one_more", ""); }),
            std::string(kCommandLine) + "KUP error - maximum number of macros reached: 1000\n");
}

TEST_F(MacroTable, CheckIdentifierReportsTheWholeText) {
  for (const char* good : {"x", "X", "_", "$", "$a$", "x[1]", "a_1[2][3]", "Z9", "$LIST$"}) {
    ErrCapture err;
    check_identifier(good, "macro");
    EXPECT_EQ(err.text(), "") << good;
  }
  const std::string illegal[] = {"1x", "a-b", "@x", "a.b", "a b", "[x]", "x'", "x`", "x\"",
                                 "x@", "\xe9", std::string("a\0b", 3), "x\t"};
  for (const std::string& bad : illegal) {
    EXPECT_EQ(fault_text([&] { check_identifier(bad, "macro"); }),
              std::string(kCommandLine) + "KUP error - illegal macro identifier <" + bad + ">\n");
  }
  EXPECT_EQ(fault_text([] { check_identifier("", "macro"); }),
            std::string(kCommandLine) + "KUP error - macro identifier is missing\n");
  EXPECT_EQ(fault_text([] { check_identifier("-p", "prefix"); }),
            std::string(kCommandLine) + "KUP error - illegal prefix identifier <-p>\n");
  EXPECT_EQ(fault_text([] { define_macro("9", "x"); }),
            std::string(kCommandLine) + "KUP error - illegal macro identifier <9>\n");
  EXPECT_EQ(fault_text([] { remove_macro(""); }),
            std::string(kCommandLine) + "KUP error - macro identifier is missing\n");
}

/// Declares every prefix of `prefixes`, as -p options one after another do.
void declare_prefixes(const std::vector<std::string>& prefixes) {
  for (const std::string& prefix : prefixes) declare_prefix(prefix);
}

TEST_F(PrefixTable, TheFirstDeclarationEntersTheSystemPrefixes) {
  EXPECT_FALSE(has_prefix("$x"));
  declare_prefixes({"p_", "$", "p_", "q"});
  EXPECT_TRUE(modes.prefix);
  ASSERT_EQ(prefix_count(), 4);
  EXPECT_EQ(prefix_at(0), "$");
  EXPECT_EQ(prefix_at(1), "@");
  EXPECT_EQ(prefix_at(2), "p_");
  EXPECT_EQ(prefix_at(3), "q");
  EXPECT_TRUE(has_prefix("p_x"));
  EXPECT_TRUE(has_prefix("p_"));
  EXPECT_TRUE(has_prefix("$"));
  EXPECT_TRUE(has_prefix("@y"));
  EXPECT_TRUE(has_prefix("qq"));
  EXPECT_FALSE(has_prefix("p"));
  EXPECT_FALSE(has_prefix("x_p_"));
  EXPECT_FALSE(has_prefix(""));
}

TEST_F(PrefixTable, ListingsMarkMacrosWithoutPrefixAsInternal) {
  declare_prefixes({"p_"});
  define_macro("p_x", "1");
  define_macro("x", "2");
  define_macro("$x", "3");
  ErrCapture err;
  list_macro("$ALL$");
  EXPECT_EQ(err.text(),
            "[  1]:  (  global)  p_x\t\t<1>\n"
            "[  2]:  (internal)  x\t\t<2>\n"
            "[  3]:  (  global)  $x\t\t<3>\n");
}

TEST_F(PrefixTable, ThirtyEightUserPrefixesFit) {
  std::vector<std::string> prefixes;
  for (int i = 0; i < 38; ++i) prefixes.push_back(numbered("p", i));
  declare_prefixes(prefixes);
  EXPECT_EQ(prefix_count(), 40);
  // Full: even a prefix already declared is refused.
  EXPECT_EQ(fault_text([] { declare_prefixes({"p0"}); }),
            std::string(kCommandLine) + "KUP error - too many prefixes\n");
}

TEST_F(PrefixTable, DeclarationFaults) {
  EXPECT_EQ(fault_text([] { declare_prefixes({"@"}); }),
            std::string(kCommandLine) + "KUP error - illegal prefix identifier <@>\n");
}

/// A plain model of the table: names in order of definition.
class Model {
 public:
  void define(const std::string& name, const std::string& value) {
    remove(name);
    order_.push_back(name);
    values_[name] = value;
  }
  void remove(const std::string& name) {
    if (values_.erase(name) == 0) return;
    order_.erase(std::find(order_.begin(), order_.end(), name));
  }
  const std::string* find(const std::string& name) const {
    auto it = values_.find(name);
    return it == values_.end() ? nullptr : &it->second;
  }
  const Names& order() const { return order_; }

 private:
  Names order_;
  std::map<std::string, std::string> values_;
};

/// Compares every name of the universe, the count and the order.
void expect_same(const Model& model, const Names& universe) {
  for (const std::string& name : universe) {
    const MacroEntry* entry = find_macro(name);
    const std::string* value = model.find(name);
    ASSERT_EQ(entry != nullptr, value != nullptr) << name;
    if (entry != nullptr) {
      EXPECT_EQ(entry->name(), name);
      EXPECT_EQ(entry->value, *value) << name;
    }
  }
  ASSERT_EQ(macro_count(), static_cast<int>(model.order().size()));
  ASSERT_EQ(names_in_order(), model.order());
}

TEST_F(MacroTable, TheNameIndexAgreesWithAPlainModel) {
  modes.warning = false;
  // Far more names than fit, the table kept close to full: probe runs grow
  // long, wrap around the end of the index, and deletions must shift their
  // members back correctly.
  Names universe;
  const std::string first = "abcdefghijklmnopqrstuvwxyz_$";
  const std::string other = "0123456789abcdefghijklmnopqrstuvwxyz[]";
  for (char a : first)
    for (char b : other)
      for (char c : std::string_view(other).substr(0, 4)) universe.push_back({a, b, c});
  std::mt19937 random(20240706);
  Model model;
  for (int round = 0; round < 60000; ++round) {
    const bool nearly_full = macro_count() > 950;
    if (random() % 10 < (nearly_full ? 4u : 7u) && macro_count() < kMaxMacros) {
      const std::string& name = universe[random() % universe.size()];
      const std::string value = std::to_string(random() % 3);
      define_macro(name, value);
      model.define(name, value);
    } else {
      // Mostly names that exist, sometimes one that does not.
      const Names& order = model.order();
      const std::string name = random() % 8 != 0 && !order.empty()
                                   ? order[random() % order.size()]
                                   : universe[random() % universe.size()];
      const int result = remove_macro(name);
      EXPECT_EQ(result == -1, model.find(name) == nullptr) << name;
      model.remove(name);
    }
    if (round % 499 == 0) {
      expect_same(model, universe);
      if (::testing::Test::HasFatalFailure()) return;
    }
  }
  expect_same(model, universe);
}

TEST_F(MacroTable, FindsNamesAfterManyRemovals) {
  for (int i = 0; i < 900; ++i) define_macro(numbered("n", i), std::to_string(i));
  for (int i = 0; i < 900; i += 3) remove_macro(numbered("n", i));
  for (int cycle = 0; cycle < 50; ++cycle) {
    define_macro("t", std::to_string(cycle));
    remove_macro("t");
  }
  for (int i = 0; i < 900; ++i) {
    const MacroEntry* entry = find_macro(numbered("n", i));
    if (i % 3 == 0) {
      EXPECT_EQ(entry, nullptr) << i;
    } else {
      ASSERT_NE(entry, nullptr) << i;
      EXPECT_EQ(entry->value, std::to_string(i));
    }
  }
  EXPECT_EQ(macro_count(), 600);
  EXPECT_EQ(listing_of("n899"), "[600]:  (  global)  n899\t\t<899>\n");
}

}  // namespace
}  // namespace kup
