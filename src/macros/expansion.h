// Replacement of macro names in a text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kup {

struct ClassMasks;

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

/// Builds the class masks that expand_data_line needs of `line`, a data
/// line without its newline, of at most kMaskedTextMax characters, whose
/// storage stays readable kLineSlack bytes past its end (as every line the
/// line reader hands out does).
void build_data_masks(std::string_view line, bool prefix_mode, ClassMasks& masks);

/// The expansion of a data line: expands `line`, whose `masks`
/// build_data_masks built, into `buffer` as expand_into expands a data
/// line. The line loop expands every data line with it, whatever the
/// modes, so that the trace shows what is written.
Expanded expand_data_line(std::string_view line, const ClassMasks& masks, char* buffer, bool prefix_mode);

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
