// The macros subsystem's state (the macro table, the prefixes and the state
// of expansion) and the operations on macros and prefixes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "macros/macro_entry.h"
#include "macros/name_index.h"

namespace kup {

/// The list marker: a macro whose stored value is exactly this is a list.
inline constexpr std::string_view kListMarker = "$LIST$";

/// At most this many macros can exist.
inline constexpr int kMaxMacros = 999;

/// True if the entry is a list.
inline bool is_list(const MacroEntry* entry) { return entry->list; }

/// Returns only if `text` is a valid identifier; ends the run otherwise.
/// `kind` is "macro" or "prefix".
void check_identifier(std::string_view text, std::string_view kind);

/// Room for every entry that can exist at once: the most macros and the one
/// whose definition exceeds that number.
inline constexpr std::size_t kPoolSize = kMaxMacros + 1;
static_assert(kPoolSize < 0xFFFF, "a place in the pool fits an index slot");

/// The macros: their index, their chain from the oldest to the newest and
/// the pool of entries.
struct MacroTable {
  NameIndex index;
  MacroEntry* oldest = nullptr;
  MacroEntry* newest = nullptr;
  int count = 0;
  /// Every entry, allocated once; removed ones keep their string capacity
  /// for the next definition.
  std::vector<MacroEntry> pool;
  std::vector<std::uint32_t> free_entries;
  /// Copies of the name and value of a redefinition, which may view the
  /// entry it removes.
  std::string kept_name;
  std::string kept_value;
};

/// The digits and "@", which expansion visits whatever names are defined:
/// a number field changes where the next field begins, and "@" begins an
/// indirection.
inline constexpr CharSet kAlwaysVisited = [] {
  CharSet set;
  for (unsigned char c = '0'; c <= '9'; ++c) set.add(c);
  set.add('@');
  return set;
}();

/// The state of expansion: the expansions under way one inside another,
/// the indirection steps of the current field and what a data line's
/// fields must begin with to be visited.
struct ExpansionState {
  /// The characters a field worth visiting in a data line may begin with
  /// outside Prefix Mode: the first bytes of the names defined and what is
  /// always visited. Kept by the table as names come and go.
  CharSet visited = kAlwaysVisited;
  /// Expansions under way, one inside another: which working texts are free.
  int nesting = 0;
  /// Steps taken by the current field of the outermost expansion, or by
  /// the name resolve_indirection resolves.
  int indirection_steps = 0;
};

/// The state of the macros subsystem, reset by reset_macro_state.
struct MacroState {
  MacroTable table;
  /// Prefixes: "$" and "@" first, then the user's; empty outside Prefix Mode.
  std::vector<std::string> prefixes;
  ExpansionState expansion;
  /// The element name a list composition looks up, kept so that composing
  /// allocates nothing once warm.
  std::string element_probe;
};

extern MacroState macros;

/// Empties the table and the prefixes and puts expansion back at its start;
/// what is kept only to spare allocations (the pool's strings, expansion's
/// working texts) stays.
void reset_macro_state();

/// The entry named `name`, or nullptr. Does not check the name.
[[gnu::always_inline]] inline MacroEntry* find_macro(std::string_view name) {
  return macros.table.index.find(name);
}

/// The value of an entry as its readers see it: the stored value, or for a
/// list its composed value, written into `scratch`; the empty text for
/// nullptr. The view holds while the entry and `scratch` stay unchanged.
std::string_view macro_value(const MacroEntry* entry, std::string& scratch);

/// Defines (or redefines, as the newest entry) a macro. Returns the count.
/// A name that is no identifier ends the run.
int define_macro(std::string_view name, std::string_view value);

/// define_macro for a name that check_identifier has passed.
int define_checked_macro(std::string_view name, std::string_view value);

/// Where the macro `name` is (its entry, or nullptr) and where its
/// definition would go: a definition that follows starts there.
IndexPlace locate_macro(std::string_view name);

/// define_checked_macro at `where`, a locate_macro of `name`; a place that
/// a change of the table has made stale is found again.
int define_checked_macro(std::string_view name, std::string_view value, const IndexPlace& where);

/// Notes on the macro `name` that its value lost single quotes before it
/// was stored; storing another value forgets it.
void note_quotes_dropped(std::string_view name);

/// Removes a macro (a list with its elements). Returns the new count, or -1
/// with a warning when the macro does not exist.
int remove_macro(std::string_view name);

/// Lists a macro, or every macro for "$ALL$", on standard error. Returns
/// the position listed, the count for "$ALL$", or -1.
int list_macro(std::string_view name);

/// Number of macros defined.
int macro_count();

/// The most slots a lookup of a defined name visits: how well the names
/// spread over the index.
int longest_probe();

/// The oldest entry, for walking the table in order through `newer`.
MacroEntry* oldest_macro();

/// At most this many prefixes, the two system prefixes included.
inline constexpr int kMaxPrefixes = 40;

/// Switches Prefix Mode on with the system prefixes "$" and "@", unless it
/// is on already.
void enter_prefix_mode();

/// Ends the run when the table holds the most prefixes.
void check_prefix_room();

/// Declares `prefix`, unless it is declared already, after entering Prefix
/// Mode. A full table, even for a prefix declared already, or a prefix
/// that is no identifier ends the run.
void declare_prefix(std::string_view prefix);

/// True if `text` begins with a declared prefix.
bool has_prefix(std::string_view text);

/// The declared prefixes in table order.
int prefix_count();
const std::string& prefix_at(int index);

}  // namespace kup
