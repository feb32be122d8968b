#include "macros/field_scanner.h"

#include "text/char_classes.h"

namespace kup {

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

}  // namespace kup
