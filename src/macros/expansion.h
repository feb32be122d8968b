// Replacement of macro names in a text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kup {

/// The state of expansion: the nesting of expand_text, the indirection
/// steps of the current field, what the latest expansion may hold and how
/// fields are found.
struct ExpansionState {
  int depth = 0;
  int indirection_steps = 0;
  bool last_may_hold_backquote = true;
  bool masks_enabled = true;
};

/// The most indirection steps one field may take, nested expansions counted.
inline constexpr int kMaxIndirections = 64;

/// Expands `source` into `out`: fields that name macros are replaced by
/// their values with single quotes dropped, white space is kept. With
/// `prefix_mode` only fields with a declared prefix are looked up. A result
/// longer than the longest text ends the run.
void expand_text(std::string_view source, std::string& out, bool prefix_mode);

/// Room that expand_into may write past the end of the longest result:
/// short pieces of text are moved 32 bytes at a time.
inline constexpr std::size_t kExpansionSlack = 32;

/// The same expansion into `buffer`, which holds at least kMaxText +
/// kExpansionSlack characters; returns the length of the result. The
/// characters after the result may have been written to.
std::size_t expand_into(std::string_view source, char* buffer, bool prefix_mode);

/// Chooses how expand_into finds fields at the bottom of a nesting: with
/// class masks (on, the default) or a character at a time. Both give the
/// same results; tests compare them.
void use_class_masks(bool on);

/// False when the result of the latest expand_text holds no backquote for
/// sure (so that the line loop need not search it for backquotes).
bool expansion_may_hold_backquote();

/// Puts the nesting, the step count and the choices of expansion back at
/// their start.
void reset_expansion();

/// Replaces a name field that begins with "@" by its expansion until it no
/// longer does (used by every directive that takes a macro name).
void resolve_indirection(std::string& name);

}  // namespace kup
