// printf-like formatting of the system's message texts into std::string.
// Texts may hold NUL bytes, so %s takes a string_view and copies it whole.
#pragma once

#include <string>
#include <string_view>

namespace kup {

/// One argument of a format: a text, an integer or a character.
struct FormatArg {
  enum class Kind { Text, Integer, Character } kind;
  std::string_view text;
  long long integer = 0;

  FormatArg(std::string_view t) : kind(Kind::Text), text(t) {}
  FormatArg(const std::string& t) : kind(Kind::Text), text(t) {}
  FormatArg(const char* t) : kind(Kind::Text), text(t) {}
  FormatArg(char c) : kind(Kind::Character), integer(static_cast<unsigned char>(c)) {}
  FormatArg(int v) : kind(Kind::Integer), integer(v) {}
  FormatArg(long v) : kind(Kind::Integer), integer(v) {}
  FormatArg(long long v) : kind(Kind::Integer), integer(v) {}
  FormatArg(unsigned v) : kind(Kind::Integer), integer(v) {}
  FormatArg(unsigned long v) : kind(Kind::Integer), integer(static_cast<long long>(v)) {}
};

/// Appends `fmt` to `out`, replacing %s, %c, %d (with an optional width,
/// as in %4d) by the arguments in order, and %% by one percent sign.
void format_append(std::string& out, std::string_view fmt,
                   const FormatArg* args, std::size_t count);

/// Appends the formatted text to `out` (which keeps its capacity, so a
/// buffer reused line after line allocates nothing once warm).
template <typename... Args>
void format_to(std::string& out, std::string_view fmt, const Args&... args) {
  const FormatArg list[] = {FormatArg(args)..., FormatArg("")};
  format_append(out, fmt, list, sizeof...(Args));
}

/// Returns the formatted text.
template <typename... Args>
std::string format(std::string_view fmt, const Args&... args) {
  std::string out;
  const FormatArg list[] = {FormatArg(args)..., FormatArg("")};
  format_append(out, fmt, list, sizeof...(Args));
  return out;
}

}  // namespace kup
