// The field scanner that cuts every text into fields, and small text helpers.
#pragma once

#include <string>
#include <string_view>

namespace kup {

/// Character classes of the scanner and the expression parser.
namespace ctype {
enum : unsigned char {
  kSpace = 1,       ///< blank, tab, newline, vertical tab, form feed, CR
  kDigit = 2,       ///< 0-9
  kLetter = 4,      ///< A-Z a-z
  kIdent = 8,       ///< continues an identifier-like field
  kNameStart = 16,  ///< may begin a macro name or prefix
  kNameRest = 32,   ///< may continue a macro name or prefix
  kOperator = 64,   ///< expression operator character
  kExprName = 128,  ///< expression name character (letters, digits, _ $)
};
extern const unsigned char table[256];
inline bool is(char c, unsigned char cls) { return table[static_cast<unsigned char>(c)] & cls; }
}  // namespace ctype

/// Where one field starts and stops, and where the white space after it ends.
struct FieldBounds {
  const char* start;
  const char* stop;
  const char* after;
};

/// The end of the number that starts at `p` (a digit): digits and points,
/// and each exponent letter that a digit, or a sign and a digit, follow.
/// Number fields and the literals of expressions end there alike.
const char* number_end(const char* p, const char* end);

/// The end of a backquoted or number field that starts at `start`.
const char* special_field_end(const char* start, const char* end);

/// The first position from `p` on that is not of class `cls`.
inline const char* skip_class(const char* p, const char* end, unsigned char cls) {
  // Four at a time while they last: one end test for four characters.
  while (end - p >= 4) {
    if (!ctype::is(p[0], cls)) return p;
    if (!ctype::is(p[1], cls)) return p + 1;
    if (!ctype::is(p[2], cls)) return p + 2;
    if (!ctype::is(p[3], cls)) return p + 3;
    p += 4;
  }
  while (p != end && ctype::is(*p, cls)) ++p;
  return p;
}

/// Scans one field of [p, end). A field that is neither a number nor
/// backquoted runs over the characters of `word_class`: identifier
/// characters, or letters only for a directive word. The expansion loop
/// uses it directly.
inline FieldBounds scan_bounds(const char* p, const char* end, unsigned char word_class = ctype::kIdent) {
  const char* start = skip_class(p, end, ctype::kSpace);
  const char* stop = start;
  if (start != end) {
    const char c = *start;
    if (c == '`' || ctype::is(c, ctype::kDigit)) stop = special_field_end(start, end);
    else stop = skip_class(start, end, word_class);
    if (stop == start) ++stop;
  }
  return {start, stop, skip_class(stop, end, ctype::kSpace)};
}

/// What one scan found: the white space before the field, the field, the
/// white space after it and the rest of the text. All view the scanned text.
struct FieldScan {
  std::string_view lead;
  std::string_view field;
  std::string_view trail;
  std::string_view rest;
};

/// Scans the field at the start of `text`, after its white space, by the
/// rules of scan_bounds.
FieldScan scan_field(std::string_view text, unsigned char word_class = ctype::kIdent);

/// Scans the directive word at the start of `text`: the field cut as
/// letters only, so that "#if2" is "#if" followed by "2".
inline FieldScan scan_directive_word(std::string_view text) { return scan_field(text, ctype::kLetter); }

/// Copies the field at the start of `text` into `field` and returns the
/// rest after the field and the white space behind it.
std::string_view next_field(std::string_view text, std::string& field);

/// The decimal text of an integer.
std::string int_to_text(long long value);

/// Copies `text` to `out` leaving out every `c`; `text` must not view `out`.
void drop_char(std::string_view text, std::string& out, char c);

/// Leaves out every `c` of `text` in place.
void drop_char_in_place(std::string& text, char c);

/// If `text` begins with `c`, `out` receives the rest after it and the
/// result is true; otherwise `out` becomes empty.
bool strip_lead(std::string_view text, std::string& out, char c);

}  // namespace kup
