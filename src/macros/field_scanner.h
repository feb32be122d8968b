// The field scanner that cuts every text into fields, and small text helpers.
#pragma once

#include <string>
#include <string_view>

namespace kup {

/// The white space before and after the field of the latest next_field call.
/// Both view the scanned text and are valid while it lives.
extern std::string_view lead_space;
extern std::string_view trail_space;

/// While on, identifier-like fields are cut as letters only.
extern bool letters_only;

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

/// Scans one field of [p, end) by the rules of next_field, leaving
/// lead_space and trail_space alone. The expansion loop uses it directly.
inline FieldBounds scan_bounds(const char* p, const char* end) {
  const char* start = skip_class(p, end, ctype::kSpace);
  const char* stop = start;
  if (start != end) {
    const char c = *start;
    if (c == '`' || ctype::is(c, ctype::kDigit)) stop = special_field_end(start, end);
    else stop = skip_class(start, end, letters_only ? ctype::kLetter : ctype::kIdent);
    if (stop == start) ++stop;
  }
  return {start, stop, skip_class(stop, end, ctype::kSpace)};
}

/// Scans the field at the start of `text` (after its white space) into
/// `field` and returns the rest after the field and the white space behind it.
std::string_view next_field(std::string_view text, std::string& field);

/// The same scan, with the field as a view of `text` instead of a copy.
std::string_view scan_field(std::string_view text, std::string_view& field);

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
