// The field scanner: the field classes, the white space around a field,
// directive words cut as letters only, the exponent rule of numbers,
// backquotes, NUL and high bytes; and the small text helpers.
#include <string>
#include <string_view>
#include <vector>

#include "spine_test_support.h"
#include "macros/field_scanner.h"
#include "text/char_classes.h"
#include "text/edits.h"

namespace kup {
namespace {

using namespace std::string_literals;

/// One scan of a text and everything it finds.
struct ScanCase {
  std::string text;
  std::string field;
  std::string lead;
  std::string trail;
  std::string rest;
};

void expect_scan(const ScanCase& c) {
  const FieldScan scan = scan_field(c.text);
  EXPECT_EQ(scan.field, c.field) << "text <" << c.text << ">";
  EXPECT_EQ(scan.lead, c.lead) << "text <" << c.text << ">";
  EXPECT_EQ(scan.trail, c.trail) << "text <" << c.text << ">";
  EXPECT_EQ(scan.rest, c.rest) << "text <" << c.text << ">";
  std::string field = "junk";
  EXPECT_EQ(next_field(c.text, field), c.rest) << "text <" << c.text << ">";
  EXPECT_EQ(field, c.field) << "text <" << c.text << ">";
}

/// The fields of a whole text, as a caller looping on the rest sees them,
/// with identifier-like fields cut by `word_class`.
std::vector<std::string> fields_of(std::string_view text, unsigned char word_class = ctype::kIdent) {
  std::vector<std::string> fields;
  while (!text.empty()) {
    const FieldScan scan = scan_field(text, word_class);
    fields.emplace_back(scan.field);
    text = scan.rest;
  }
  return fields;
}

using Fields = std::vector<std::string>;

TEST(FieldScanner, RecordsTheWhiteSpaceAroundOneField) {
  const ScanCase cases[] = {
      {"", "", "", "", ""},
      {"   ", "", "   ", "", ""},
      {" \t\r\n\v\f", "", " \t\r\n\v\f", "", ""},
      {"  abc  def", "abc", "  ", "  ", "def"},
      {"abc", "abc", "", "", ""},
      {"abc\r", "abc", "", "\r", ""},
      {"\tx \t y", "x", "\t", " \t ", "y"},
      {"x\ny", "x", "", "\n", "y"},
  };
  for (const ScanCase& c : cases) expect_scan(c);
}

TEST(FieldScanner, IdentifierLikeFieldsTakeOperatorCharacters) {
  const ScanCase cases[] = {
      {"x==y z", "x==y", "", " ", "z"}, {"a<=b", "a<=b", "", "", ""},
      {"$x", "$x", "", "", ""},         {"@x", "@x", "", "", ""},
      {"x[1]", "x[1]", "", "", ""},     {"v!", "v!", "", "", ""},
      {"a&&b||c", "a&&b||c", "", "", ""}, {"%x_9", "%x_9", "", "", ""},
      {"x3", "x3", "", "", ""},         {"_", "_", "", "", ""},
  };
  for (const ScanCase& c : cases) expect_scan(c);
}

TEST(FieldScanner, OtherCharactersAreFieldsOfTheirOwn) {
  EXPECT_EQ(fields_of("a+b"), (Fields{"a", "+", "b"}));
  EXPECT_EQ(fields_of("a-b"), (Fields{"a", "-", "b"}));
  EXPECT_EQ(fields_of("a.b"), (Fields{"a", ".", "b"}));
  EXPECT_EQ(fields_of("(a)"), (Fields{"(", "a", ")"}));
  EXPECT_EQ(fields_of("a,b"), (Fields{"a", ",", "b"}));
  EXPECT_EQ(fields_of("a'b'"), (Fields{"a", "'", "b", "'"}));
  EXPECT_EQ(fields_of("\"a b\""), (Fields{"\"", "a", "b", "\""}));
  EXPECT_EQ(fields_of("#*;:?^{}~/"), (Fields{"#", "*", ";", ":", "?", "^", "{", "}", "~", "/"}));
}

TEST(FieldScanner, NumbersFollowTheExponentRule) {
  EXPECT_EQ(fields_of("3x"), (Fields{"3", "x"}));
  EXPECT_EQ(fields_of("1e5"), (Fields{"1e5"}));
  EXPECT_EQ(fields_of("2.5E-3"), (Fields{"2.5E-3"}));
  EXPECT_EQ(fields_of("7e+1"), (Fields{"7e+1"}));
  EXPECT_EQ(fields_of("1.2.3"), (Fields{"1.2.3"}));
  EXPECT_EQ(fields_of("1e"), (Fields{"1", "e"}));
  EXPECT_EQ(fields_of("1e-x"), (Fields{"1", "e", "-", "x"}));
  EXPECT_EQ(fields_of("1e+"), (Fields{"1", "e", "+"}));
  EXPECT_EQ(fields_of("-3"), (Fields{"-", "3"}));
  EXPECT_EQ(fields_of(".5"), (Fields{".", "5"}));
  EXPECT_EQ(fields_of("1e5e3.2E+1x"), (Fields{"1e5e3.2E+1", "x"}));
  EXPECT_EQ(fields_of("12ab"), (Fields{"12", "ab"}));
  EXPECT_EQ(fields_of("1ee5"), (Fields{"1", "ee5"}));
  EXPECT_EQ(fields_of("0x1F"), (Fields{"0", "x1F"}));
}

TEST(FieldScanner, BackquotesGroupEverythingUpToTheNextBackquote) {
  const ScanCase cases[] = {
      {"`a b, c` d", "`a b, c`", "", " ", "d"},
      {"`a b", "`a b", "", "", ""},
      {"`", "`", "", "", ""},
      {"``x", "``", "", "", "x"},
      {" `x\ny` z", "`x\ny`", " ", " ", "z"},
      {"`@x`", "`@x`", "", "", ""},
  };
  for (const ScanCase& c : cases) expect_scan(c);
  EXPECT_EQ(fields_of("a`b c`d"), (Fields{"a", "`b c`", "d"}));
}

TEST(FieldScanner, DirectiveWordsStopAtTheFirstNonLetter) {
  EXPECT_EQ(fields_of("define x", ctype::kLetter), (Fields{"define", "x"}));
  EXPECT_EQ(fields_of("if2", ctype::kLetter), (Fields{"if", "2"}));
  EXPECT_EQ(fields_of("if(1)", ctype::kLetter), (Fields{"if", "(", "1", ")"}));
  EXPECT_EQ(fields_of("real4 x", ctype::kLetter), (Fields{"real", "4", "x"}));
  EXPECT_EQ(fields_of("*x", ctype::kLetter), (Fields{"*", "x"}));
  EXPECT_EQ(fields_of("#x", ctype::kLetter), (Fields{"#", "x"}));
  EXPECT_EQ(fields_of("!x", ctype::kLetter), (Fields{"!", "x"}));
  EXPECT_EQ(fields_of("$x_y", ctype::kLetter), (Fields{"$", "x", "_", "y"}));
  // The number and backquote classes stay as they are.
  EXPECT_EQ(fields_of("12ab", ctype::kLetter), (Fields{"12", "ab"}));
  EXPECT_EQ(fields_of("1e5x", ctype::kLetter), (Fields{"1e5", "x"}));
  EXPECT_EQ(fields_of("`a b`c", ctype::kLetter), (Fields{"`a b`", "c"}));
  EXPECT_EQ(fields_of("if2"), (Fields{"if2"}));
  EXPECT_EQ(scan_directive_word(" if2 x").field, "if");
}

TEST(FieldScanner, NulAndHighBytesAreSingleCharacterFields) {
  EXPECT_EQ(fields_of("a\0b"s), (Fields{"a", "\0"s, "b"}));
  EXPECT_EQ(fields_of("\0\0"s), (Fields{"\0"s, "\0"s}));
  EXPECT_EQ(fields_of("x\xe9y \xff"), (Fields{"x", "\xe9", "y", "\xff"}));
  EXPECT_EQ(fields_of("`a\0b` c"s), (Fields{"`a\0b`"s, "c"}));
  // A NUL byte is no white space and ends nothing.
  expect_scan({" \0 x"s, "\0"s, " ", " ", "x"});
}

TEST(FieldScanner, OnlyTheFirstFieldHasLeadingSpace) {
  const FieldScan first = scan_field("  a   b");
  EXPECT_EQ(first.lead, "  ");
  const FieldScan second = scan_field(first.rest);
  EXPECT_EQ(second.field, "b");
  EXPECT_EQ(second.lead, "");
  EXPECT_TRUE(second.rest.empty());
}

TEST(TextHelpers, IntToText) {
  EXPECT_EQ(int_to_text(0), "0");
  EXPECT_EQ(int_to_text(42), "42");
  EXPECT_EQ(int_to_text(-17), "-17");
  EXPECT_EQ(int_to_text(1000000), "1000000");
  EXPECT_EQ(int_to_text(-9223372036854775807LL - 1), "-9223372036854775808");
  EXPECT_EQ(int_to_text(9223372036854775807LL), "9223372036854775807");
}

TEST(TextHelpers, DropChar) {
  std::string out = "old";
  drop_char("'a' 'b'", out, '\'');
  EXPECT_EQ(out, "a b");
  drop_char("`x`y``", out, '`');
  EXPECT_EQ(out, "xy");
  drop_char("", out, 'x');
  EXPECT_EQ(out, "");
  drop_char("a\0'b"s, out, '\'');
  EXPECT_EQ(out, "a\0b"s);
  std::string in_place = "''a'b''";
  drop_char_in_place(in_place, '\'');
  EXPECT_EQ(in_place, "ab");
}

TEST(TextHelpers, StripLead) {
  std::string out = "old";
  EXPECT_TRUE(strip_lead("@x", out, '@'));
  EXPECT_EQ(out, "x");
  EXPECT_TRUE(strip_lead("@@x", out, '@'));
  EXPECT_EQ(out, "@x");
  EXPECT_TRUE(strip_lead("@", out, '@'));
  EXPECT_EQ(out, "");
  out = "old";
  EXPECT_FALSE(strip_lead("x@", out, '@'));
  EXPECT_EQ(out, "");
  out = "old";
  EXPECT_FALSE(strip_lead("", out, '@'));
  EXPECT_EQ(out, "");
}

}  // namespace
}  // namespace kup
