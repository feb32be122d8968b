// JSON text written straight into a string, for the messages the server
// sends most (the diagnostics after each change): no json values are
// built first. The text is that of nlohmann::json's dump() with the
// replacement of bytes that are no UTF-8, byte for byte.
#pragma once

#include <string>
#include <string_view>

namespace kup::ls {

/// Appends `text` as a JSON string: quoted, '"', '\' and the control
/// characters escaped, and each piece of it that is no UTF-8 (a stray
/// byte, a sequence cut short, an overlong form, a surrogate, a code
/// point past U+10FFFF) replaced by U+FFFD.
void append_json_string(std::string& out, std::string_view text);

/// Appends a whole number.
void append_json_number(std::string& out, long long number);

}  // namespace kup::ls
