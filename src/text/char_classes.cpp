#include "text/char_classes.h"

namespace kup {

namespace ctype {

namespace {

constexpr unsigned char classify(unsigned char c) {
  unsigned char cls = 0;
  const bool upper = c >= 'A' && c <= 'Z';
  const bool lower = c >= 'a' && c <= 'z';
  const bool digit = c >= '0' && c <= '9';
  if (c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r') cls |= kSpace;
  if (digit) cls |= kDigit | kIdent | kNameRest | kExprName;
  if (upper || lower) cls |= kLetter | kIdent | kNameStart | kNameRest | kExprName;
  switch (c) {
    case '!': case '%': case '&': case '<': case '=': case '>': case '@':
    case '[': case ']': case '|':
      cls |= kIdent;
      break;
    case '$': case '_':
      cls |= kIdent | kNameStart | kNameRest | kExprName;
      break;
    default:
      break;
  }
  if (c == '[' || c == ']') cls |= kNameRest;
  switch (c) {
    case '!': case '%': case '&': case '*': case '+': case '-': case '/':
    case '<': case '=': case '>': case '^': case '|':
      cls |= kOperator;
      break;
    default:
      break;
  }
  return cls;
}

constexpr auto build_table() {
  struct Table {
    unsigned char cls[256];
  } t{};
  for (int c = 0; c < 256; ++c) t.cls[c] = classify(static_cast<unsigned char>(c));
  return t;
}

constexpr auto kTable = build_table();

}  // namespace

const unsigned char table[256] = {
#define K(i) kTable.cls[i]
#define K8(i) K(i), K(i + 1), K(i + 2), K(i + 3), K(i + 4), K(i + 5), K(i + 6), K(i + 7)
#define K64(i) K8(i), K8(i + 8), K8(i + 16), K8(i + 24), K8(i + 32), K8(i + 40), K8(i + 48), K8(i + 56)
    K64(0), K64(64), K64(128), K64(192)
#undef K64
#undef K8
#undef K
};

}  // namespace ctype

}  // namespace kup
