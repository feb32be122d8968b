// Replacement of macro names in a text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kup {

/// Whose text is expanded. The white space after the last field of a
/// directive's text is dropped; a data line keeps its own up to a newline.
enum class TextKind { Directive, Data };

/// What an expansion hands back.
struct Expanded {
  std::size_t size = 0;  ///< characters of the result
  /// False when the result holds no backquote for sure (so that the line
  /// loop need not search it for backquotes).
  bool may_hold_backquote = false;
};

/// The most indirection steps one field may take, nested expansions counted.
inline constexpr int kMaxIndirections = 64;

/// Expands `source`, a text of `kind`, into `out`: fields that name
/// macros are replaced by their values with single quotes dropped, white
/// space is kept. With `prefix_mode` only fields with a declared prefix are
/// looked up. A result longer than the longest text ends the run.
Expanded expand_text(std::string_view source, std::string& out, bool prefix_mode, TextKind kind);

/// Room that expand_into may write past the end of the longest result:
/// short pieces of text are moved 32 bytes at a time.
inline constexpr std::size_t kExpansionSlack = 32;

/// The same expansion into `buffer`, which holds at least kMaxText +
/// kExpansionSlack characters. The characters after the result may have
/// been written to.
Expanded expand_into(std::string_view source, char* buffer, bool prefix_mode, TextKind kind);

/// Looks for the line at the start of `text`, whose storage stays readable
/// for kLineSlack characters past its end, and prepares it for
/// expand_found_line: the line is classified as it is searched. Returns
/// the line with its newline when a newline ends it within `max`
/// characters (max < 1024), else an empty view.
std::string_view find_data_line(std::string_view text, std::size_t max, bool prefix_mode);

/// Expands the line last found by find_data_line, without its newline, as
/// expand_into expands a data line. No other expansion may come between.
Expanded expand_found_line(char* buffer, bool prefix_mode);

/// Chooses how the outermost expansion finds fields: with class masks (on,
/// the default) or a character at a time, as nested ones do. Both give the
/// same results; tests and a fuzzer compare them. A choice of the process:
/// it holds over runs.
void use_class_masks(bool on);

/// Puts the nesting and the step count back at their start.
void reset_expansion();

/// Replaces a name field that begins with "@" by its expansion until it no
/// longer does (used by every directive that takes a macro name). The
/// steps of all rounds count together.
void resolve_indirection(std::string& name);

}  // namespace kup
