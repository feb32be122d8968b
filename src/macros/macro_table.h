// The macro table, the prefix table, the field scanner, text expansion and
// lists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "macros/expansion.h"
#include "macros/field_scanner.h"
#include "macros/lists.h"

namespace kup {

/// The list marker: a macro whose stored value is exactly this is a list.
inline constexpr std::string_view kListMarker = "$LIST$";

/// At most this many macros can exist.
inline constexpr int kMaxMacros = 999;

/// One macro: a name and its stored value. Entries are kept in order of
/// definition as a doubly linked chain. The value never changes once
/// stored, so what expansion asks of it is noted when it is stored.
struct MacroEntry {
  std::string name;
  std::string value;
  bool list = false;    ///< the value is the list marker
  bool quoted = false;  ///< the value holds a single quote
  bool backquoted = false;  ///< the value holds a backquote
  MacroEntry* older = nullptr;
  MacroEntry* newer = nullptr;
};

/// True if the entry is a list.
inline bool is_list(const MacroEntry* entry) { return entry->list; }

/// Returns only if `text` is a valid identifier; ends the run otherwise.
/// `kind` is "macro" or "prefix".
void check_identifier(std::string_view text, std::string_view kind);

/// Names defined, counted by first byte and length (modulo kShapeLengths):
/// most words of a text that name no macro are refused without hashing.
inline constexpr std::size_t kShapeLengths = 32;
extern std::uint16_t macro_shapes[256][kShapeLengths];

/// The entry named `name` by the hash index; find_macro is the entry point.
MacroEntry* lookup_macro(std::string_view name);

/// False when no macro has the first byte and length of `name` (which
/// must not be empty); true says only that one may be named so.
inline bool may_name_macro(std::string_view name) {
  return macro_shapes[static_cast<unsigned char>(name[0])][name.size() % kShapeLengths] != 0;
}

/// The entry named `name`, or nullptr. Does not check the name.
inline MacroEntry* find_macro(std::string_view name) {
  if (name.empty() || !may_name_macro(name)) return nullptr;
  return lookup_macro(name);
}

/// The value of an entry as its readers see it: the stored value, or for a
/// list its composed value, written into `scratch`; the empty text for
/// nullptr. The view holds while the entry and `scratch` stay unchanged.
std::string_view macro_value(const MacroEntry* entry, std::string& scratch);

/// Defines (or redefines, as the newest entry) a macro. Returns the count.
int define_macro(std::string_view name, std::string_view value);

/// Removes a macro (a list with its elements). Returns the new count, or -1
/// with a warning when the macro does not exist.
int remove_macro(std::string_view name);

/// Lists a macro, or every macro for "$ALL$", on standard error. Returns
/// the position listed, the count for "$ALL$", or -1.
int list_macro(std::string_view name);

/// Number of macros defined.
int macro_count();

/// The oldest entry, for walking the table in order through `newer`.
MacroEntry* oldest_macro();

/// Empties the table.
void reset_macro_table();

/// At most this many prefixes, the two system prefixes included.
inline constexpr int kMaxPrefixes = 40;

/// Handles one -p option: consumes the next argument through the cursor.
/// `args` points at the option's argument (may be end), `left` is the count
/// of arguments after the option; both advance when the argument is taken.
void declare_prefix(char**& args, int& left);

/// True if `text` begins with a declared prefix.
bool has_prefix(std::string_view text);

/// The declared prefixes in table order.
int prefix_count();
const std::string& prefix_at(int index);

void reset_prefix_table();

}  // namespace kup
