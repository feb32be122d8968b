// The field scanner that cuts every text into fields.
#pragma once

#include <string>
#include <string_view>

#include "text/char_classes.h"

namespace kup {

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

}  // namespace kup
