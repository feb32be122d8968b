#include "macros/field_scanner.h"

#include <algorithm>

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

namespace {

/// End of a backquoted field starting at `from`: after the closing backquote,
/// or the end of the text.
std::size_t backquote_end(std::string_view text, std::size_t from) {
  std::size_t close = text.find('`', from + 1);
  return close == std::string_view::npos ? text.size() : close + 1;
}

/// An exponent letter at `letter` is part of a number if a digit, or a sign
/// and a digit, follow it.
bool exponent_follows(const char* letter, const char* end) {
  if (end - letter < 2) return false;
  const char next = letter[1];
  if (ctype::is(next, ctype::kDigit)) return true;
  return (next == '+' || next == '-') && end - letter > 2 && ctype::is(letter[2], ctype::kDigit);
}

}  // namespace

const char* number_end(const char* p, const char* end) {
  while (p < end) {
    if (ctype::is(*p, ctype::kDigit) || *p == '.') {
      ++p;
    } else if ((*p == 'e' || *p == 'E') && exponent_follows(p, end)) {
      p += 2;
    } else {
      break;
    }
  }
  return p;
}

const char* special_field_end(const char* start, const char* end) {
  if (*start != '`') return number_end(start, end);
  const std::string_view text(start, static_cast<std::size_t>(end - start));
  return start + backquote_end(text, 0);
}

FieldScan scan_field(std::string_view text, unsigned char word_class) {
  const char* const base = text.data();
  const char* const end = base + text.size();
  const FieldBounds b = scan_bounds(base, end, word_class);
  const auto view = [](const char* from, const char* to) {
    return std::string_view(from, static_cast<std::size_t>(to - from));
  };
  return {view(base, b.start), view(b.start, b.stop), view(b.stop, b.after), view(b.after, end)};
}

std::string_view next_field(std::string_view text, std::string& field) {
  const FieldScan scan = scan_field(text);
  field.assign(scan.field);
  return scan.rest;
}

std::string int_to_text(long long value) {
  std::string text;
  unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                           : static_cast<unsigned long long>(value);
  do {
    text.push_back(static_cast<char>('0' + magnitude % 10));
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) text.push_back('-');
  std::reverse(text.begin(), text.end());
  return text;
}

void drop_char(std::string_view text, std::string& out, char c) {
  out.clear();
  for (char t : text)
    if (t != c) out.push_back(t);
}

void drop_char_in_place(std::string& text, char c) {
  text.erase(std::remove(text.begin(), text.end(), c), text.end());
}

bool strip_lead(std::string_view text, std::string& out, char c) {
  if (text.empty() || text.front() != c) {
    out.clear();
    return false;
  }
  out.assign(text.substr(1));
  return true;
}

}  // namespace kup
