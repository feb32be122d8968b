// The text of an evaluated value, and the truth of such a text.
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cmath>
#include <cstdio>
#include <string>

#include "expr/conversion.h"
#include "expr/expr.h"
#include "text/char_classes.h"

namespace kup {

namespace {

/// The whole-number form of a value below 2^53 in size, without the
/// library's exact decimal expansion: rounding to nearest with ties to even,
/// as "%.0f" rounds, is exact in that range. Returns false for any other value.
bool write_whole_number(double value, std::string& out) {
  constexpr double kExactLimit = 9007199254740992.0;  // 2^53
  if (!(std::fabs(value) < kExactLimit)) return false;
  const double rounded = std::nearbyint(value);
  char digits[24];
  char* end = digits;
  if (rounded == 0 && std::signbit(value)) *end++ = '-';  // -0.4 is written -0
  end = std::to_chars(end, digits + sizeof digits, static_cast<std::int64_t>(rounded)).ptr;
  out.assign(digits, end);
  return true;
}

}  // namespace

void value_to_text(double value, int precision, std::string& out) {
  if (std::isnan(value)) {
    out = "nan";
    return;
  }
  if (std::isinf(value)) {
    out = value < 0 ? "-inf" : "inf";
    return;
  }
  if (precision == 0 && write_whole_number(value, out)) return;
  // The largest double with 9 decimals takes 320 characters.
  char buffer[400];
  int length = precision >= 0
                   ? std::snprintf(buffer, sizeof buffer, "%.*f", precision, value)
                   : std::snprintf(buffer, sizeof buffer, "%.*e", -precision, value);
  if (length < 0) length = 0;
  out.assign(buffer, std::min<std::size_t>(static_cast<std::size_t>(length), sizeof buffer - 1));
}

bool text_is_true(std::string_view text) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  for (; i < text.size() && ctype::is(text[i], ctype::kDigit); ++i)
    if (text[i] != '0') return true;
  return false;
}

}  // namespace kup
