// Small edits of texts: the decimal text of an integer, and texts with a
// character left out or taken off their front.
#pragma once

#include <string>
#include <string_view>

namespace kup {

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
