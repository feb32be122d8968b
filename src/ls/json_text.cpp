#include "ls/json_text.h"

#include <charconv>

namespace kup::ls {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

/// The range the second byte of a sequence led by `lead` must lie in, and
/// the bytes of the sequence; a size of 0 for a byte that leads none.
struct SequenceShape {
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  int size = 0;
};

SequenceShape shape_of(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return {0x80, 0xBF, 2};
  if (lead == 0xE0) return {0xA0, 0xBF, 3};
  if (lead == 0xED) return {0x80, 0x9F, 3};  // no surrogates
  if (lead >= 0xE1 && lead <= 0xEF) return {0x80, 0xBF, 3};
  if (lead == 0xF0) return {0x90, 0xBF, 4};
  if (lead >= 0xF1 && lead <= 0xF3) return {0x80, 0xBF, 4};
  if (lead == 0xF4) return {0x80, 0x8F, 4};  // up to U+10FFFF
  return {};
}

/// The bytes of the well-formed sequence at the start of `text` (which
/// starts with a byte of 0x80 or more), or 0 with `taken` set to the bytes
/// to replace: the lead and the continuation bytes that fit, so that the
/// byte that broke the sequence is read again as a start.
std::size_t sequence_at(std::string_view text, std::size_t& taken) {
  const SequenceShape shape = shape_of(static_cast<unsigned char>(text[0]));
  std::size_t at = 1;
  for (; shape.size != 0 && at < static_cast<std::size_t>(shape.size); ++at) {
    if (at >= text.size()) break;
    const auto byte = static_cast<unsigned char>(text[at]);
    const unsigned char low = at == 1 ? shape.low : 0x80;
    const unsigned char high = at == 1 ? shape.high : 0xBF;
    if (byte < low || byte > high) break;
  }
  if (shape.size != 0 && at == static_cast<std::size_t>(shape.size)) return at;
  taken = at;
  return 0;
}

/// Appends the escape of a control character, a quote or a backslash.
void append_escape(std::string& out, unsigned char c) {
  static constexpr char kHex[] = "0123456789abcdef";
  switch (c) {
    case '"': out += "\\\""; return;
    case '\\': out += "\\\\"; return;
    case '\b': out += "\\b"; return;
    case '\f': out += "\\f"; return;
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    case '\t': out += "\\t"; return;
    default: break;
  }
  out += "\\u00";
  out += kHex[c >> 4];
  out += kHex[c & 15];
}

}  // namespace

void append_json_string(std::string& out, std::string_view text) {
  out += '"';
  std::size_t plain = 0;  // the start of the bytes not yet appended
  for (std::size_t at = 0; at < text.size();) {
    const auto c = static_cast<unsigned char>(text[at]);
    if (c >= 0x20 && c < 0x80 && c != '"' && c != '\\') {
      ++at;
      continue;
    }
    if (c >= 0x80) {
      std::size_t taken = 0;
      const std::size_t size = sequence_at(text.substr(at), taken);
      if (size != 0) {
        at += size;
        continue;
      }
      out.append(text.substr(plain, at - plain));
      out += kReplacement;
      at += taken;
    } else {
      out.append(text.substr(plain, at - plain));
      append_escape(out, c);
      ++at;
    }
    plain = at;
  }
  out.append(text.substr(plain));
  out += '"';
}

void append_json_number(std::string& out, long long number) {
  char digits[24];
  const auto [end, error] = std::to_chars(digits, digits + sizeof digits, number);
  out.append(digits, static_cast<std::size_t>(end - digits));
}

}  // namespace kup::ls
