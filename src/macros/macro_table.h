// The macros subsystem's state (the macro table, the prefixes and the state
// of expansion) and the operations on macros and prefixes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "macros/class_masks.h"

namespace kup {

/// The list marker: a macro whose stored value is exactly this is a list.
inline constexpr std::string_view kListMarker = "$LIST$";

/// At most this many macros can exist.
inline constexpr int kMaxMacros = 999;

/// Bytes of a name kept in the entry beside the value, where a lookup
/// compares them.
inline constexpr std::size_t kNameHead = 88;

/// A short value is also kept after a name of up to this many bytes, in
/// the entry's first cache line: 8 bytes of the entry's own, the name and
/// 16 bytes that expansion moves at once.
inline constexpr std::size_t kNearNameMax = 64 - 8 - 16;

/// near_size of an entry whose value is not kept beside its name.
inline constexpr std::uint8_t kFarValue = 0xFF;

/// One macro: a name and its stored value. Entries are kept in order of
/// definition as a doubly linked chain. The value never changes once
/// stored, so what expansion asks of it is noted when it is stored.
///
/// A lookup that finds the entry reads its first cache line (the flags,
/// the name's length and its first bytes) and, for a longer name, the
/// second (the name's next bytes). A value of fewer than sixteen bytes
/// that needs no more than to be copied is kept in the first line too,
/// right after a name of up to kNearNameMax bytes: such a field is
/// replaced from one line. The value as a string, the name as a string
/// and the chain come after.
struct alignas(64) MacroEntry {
  std::uint32_t name_size = 0;
  bool list = false;    ///< the value is the list marker
  bool quoted = false;  ///< the value holds a single quote
  bool backquoted = false;  ///< the value holds a backquote
  /// The value was given with single quotes that were dropped before it
  /// was stored (a value of -d); quoted is set too, so that expansion
  /// takes the road where it can say so.
  bool quotes_dropped = false;
  std::uint8_t near_size = kFarValue;  ///< the length of the value kept after the name, or kFarValue
  /// The first bytes of the name, then (when near_size says so) the value.
  char name_head[kNameHead] = {};
  std::string value;
  std::string name;
  MacroEntry* older = nullptr;
  MacroEntry* newer = nullptr;
};

/// True if the entry is a list.
inline bool is_list(const MacroEntry* entry) { return entry->list; }

/// Returns only if `text` is a valid identifier; ends the run otherwise.
/// `kind` is "macro" or "prefix".
void check_identifier(std::string_view text, std::string_view kind);

/// Names defined are counted by first byte and length modulo this.
inline constexpr std::size_t kShapeLengths = 32;

/// Open-addressing index from name to entry: a power of two above sixteen
/// times the most entries, so that nearly every lookup finds its name in
/// its home slot (a lookup that probes further costs a mispredicted branch,
/// which with a thousand names costs more than the misses of the larger
/// index), probed linearly from the slot given by the highest bits of the
/// name's hash, deleted by backward shift. A slot is four bytes, sixteen
/// other bits of the hash and the entry's place in the pool (64 KB in
/// all); probes compare names only when those bits agree.
inline constexpr std::size_t kIndexSlots = 16384;

struct IndexSlot {
  std::uint16_t tag = 0;    ///< bits of the name's hash below those of the home slot
  std::uint16_t entry = 0;  ///< place in the pool plus one; 0 for an empty slot
};
static_assert(kMaxMacros + 1 < 0xFFFF, "a place in the pool fits a slot");

/// The digits and "@", which expansion visits whatever names are defined.
inline constexpr CharSet kAlwaysVisited = [] {
  CharSet set;
  for (unsigned char c = '0'; c <= '9'; ++c) set.add(c);
  set.add('@');
  return set;
}();

/// Room for every entry that can exist at once: the most macros and the one
/// whose definition exceeds that number.
inline constexpr std::size_t kPoolSize = kMaxMacros + 1;

/// The macros: their index, their chain from the oldest to the newest and
/// the pool of entries.
struct MacroTable {
  IndexSlot index[kIndexSlots];
  MacroEntry* oldest = nullptr;
  MacroEntry* newest = nullptr;
  int count = 0;
  /// Every entry, allocated once; removed ones keep their string capacity
  /// for the next definition.
  std::vector<MacroEntry> pool;
  std::vector<std::uint32_t> free_entries;
  /// Names defined, counted by first byte and length (modulo kShapeLengths):
  /// most words of a text that name no macro are refused without hashing.
  std::uint16_t shapes[256][kShapeLengths] = {};
  /// Names defined, counted by first byte.
  std::uint16_t firsts[256] = {};
  /// The characters a field worth visiting in a data line may begin with
  /// outside Prefix Mode: the first bytes of the names defined, the digits
  /// (a number field changes where the next field begins) and "@".
  CharSet visited = kAlwaysVisited;
  /// Copies of the name and value of a redefinition, which may view the
  /// entry it removes.
  std::string kept_name;
  std::string kept_value;
};

/// The state of expansion: the expansions under way one inside another and
/// the indirection steps of the current field.
struct ExpansionState {
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


/// The entry named `name` by the hash index; find_macro is the entry point.
MacroEntry* lookup_macro(std::string_view name);

/// False when no macro has the first byte and length of `name` (which
/// must not be empty); true says only that one may be named so.
inline bool may_name_macro(std::string_view name) {
  return macros.table.shapes[static_cast<unsigned char>(name[0])][name.size() % kShapeLengths] != 0;
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
