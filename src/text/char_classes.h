// The classes of characters: which characters are white space, digits,
// letters, parts of identifiers, of macro names, of operators and of
// expression names. The field scanner, the class masks of expansion and the
// expression parser all read this one table.
#pragma once

namespace kup {

/// Character classes: a bit each, any number of them to a character.
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

}  // namespace kup
