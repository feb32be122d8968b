#include "macros/macro_table.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

#include "driver/diagnostics.h"
#include "driver/driver.h"
#include "driver/output.h"
#include "driver/run_observer.h"
#include "driver/text_format.h"
#include "macros/expansion.h"
#include "macros/lists.h"
#include "macros/name_index.h"
#include "text/char_classes.h"

namespace kup {

MacroState macros;

namespace {

/// macros.table, under a short name.
MacroTable& table = macros.table;
using Slot = IndexSlot;

std::uint16_t& shape_count(std::string_view name) {
  return table.shapes[static_cast<unsigned char>(name[0])][name.size() % kShapeLengths];
}

/// Counts a name by its shape and first byte; the first of its first
/// byte makes expansion visit fields that begin with it.
void count_name(std::string_view name) {
  ++shape_count(name);
  const auto first = static_cast<unsigned char>(name[0]);
  if (table.firsts[first]++ == 0 && CharSet::fits(first)) table.visited.add(first);
}

/// Undoes count_name.
void uncount_name(std::string_view name) {
  --shape_count(name);
  const auto first = static_cast<unsigned char>(name[0]);
  if (--table.firsts[first] == 0 && !kAlwaysVisited.has(first)) table.visited.remove(first);
}

using name_index::entry_at;
using name_index::find_slot;
using name_index::hash_name;
using name_index::home_slot;
using name_index::load_word;
using name_index::same_name;
using name_index::tag_of;


std::size_t find_slot(std::string_view name) { return find_slot(name, hash_name(name)); }

/// The home slot of the entry in a slot (deletion is rare: it hashes).
std::size_t home_of(const Slot& s) { return home_slot(hash_name(entry_at(s)->name)); }

/// Empties `slot`, moving later members of its probe run back so that
/// every entry stays reachable from its home slot.
void erase_slot(std::size_t slot) {
  std::size_t hole = slot;
  std::size_t next = (slot + 1) & (kIndexSlots - 1);
  while (table.index[next].entry != 0) {
    std::size_t home = home_of(table.index[next]);
    bool movable = hole <= next ? (home <= hole || home > next) : (home <= hole && home > next);
    if (movable) {
      table.index[hole] = table.index[next];
      hole = next;
    }
    next = (next + 1) & (kIndexSlots - 1);
  }
  table.index[hole] = Slot{};
}

std::uint32_t new_entry() {
  if (!table.free_entries.empty()) {
    std::uint32_t place = table.free_entries.back();
    table.free_entries.pop_back();
    return place;
  }
  // Reserved once, so entries never move and the chain's pointers hold.
  if (table.pool.capacity() < kPoolSize) table.pool.reserve(kPoolSize);
  table.pool.emplace_back();
  return static_cast<std::uint32_t>(table.pool.size() - 1);
}

/// Stores the value of an entry and notes what expansion asks of it.
[[gnu::always_inline]] inline void store_value(MacroEntry* entry, std::string_view value) {
  entry->value.assign(value);
  entry->list = entry->value == kListMarker;
  entry->quoted = entry->value.find('\'') != std::string::npos;
  entry->backquoted = entry->value.find('`') != std::string::npos;
  entry->quotes_dropped = false;
  entry->near_size = kFarValue;
  if (!entry->list && !entry->quoted && value.size() < 16 && entry->name_size <= kNearNameMax) {
    // The string's storage mostly holds sixteen bytes: moved at once.
    char* near = entry->name_head + entry->name_size;
    if (entry->value.capacity() >= 15) std::memcpy(near, entry->value.data(), 16);
    else std::memcpy(near, entry->value.data(), value.size());
    entry->near_size = static_cast<std::uint8_t>(value.size());
  }
}

/// Puts an entry at the newest end of the chain.
void link_newest(MacroEntry* entry) {
  entry->older = table.newest;
  entry->newer = nullptr;
  if (table.newest != nullptr) table.newest->newer = entry;
  else table.oldest = entry;
  table.newest = entry;
}

/// Takes an entry out of the chain.
void unlink_chain(MacroEntry* entry) {
  if (entry->older != nullptr) entry->older->newer = entry->newer;
  else table.oldest = entry->newer;
  if (entry->newer != nullptr) entry->newer->older = entry->older;
  else table.newest = entry->older;
}

void append_entry(std::string_view name, std::string_view value, std::size_t slot, std::uint64_t hash) {
  const std::uint32_t place = new_entry();
  MacroEntry* entry = &table.pool[place];
  entry->name.assign(name);
  entry->name_size = static_cast<std::uint32_t>(name.size());
  std::memset(entry->name_head, 0, kNameHead);
  std::memcpy(entry->name_head, name.data(), std::min(name.size(), kNameHead));
  store_value(entry, value);
  link_newest(entry);
  table.index[slot] = Slot{tag_of(hash), static_cast<std::uint16_t>(place + 1)};
  count_name(entry->name);
  ++table.count;
}

void unlink_entry(MacroEntry* entry) {
  erase_slot(find_slot(entry->name));
  uncount_name(entry->name);
  unlink_chain(entry);
  --table.count;
  table.free_entries.push_back(static_cast<std::uint32_t>(entry - table.pool.data()));
}

int position_of(const MacroEntry* wanted) {
  int position = 1;
  for (const MacroEntry* e = table.oldest; e != wanted; e = e->newer) ++position;
  return position;
}

bool valid_identifier(std::string_view text) {
  if (!ctype::is(text[0], ctype::kNameStart)) return false;
  for (std::size_t i = 1; i < text.size(); ++i)
    if (!ctype::is(text[i], ctype::kNameRest)) return false;
  return true;
}

void print_entry(const MacroEntry* entry, int position) {
  const bool global = !modes.prefix || has_prefix(entry->name);
  err_write(format(global ? "[%3d]:  (  global)  %s\t\t<%s>\n" : "[%3d]:  (internal)  %s\t\t<%s>\n",
                   position, entry->name, entry->value));
}

}  // namespace

bool name_index::same_long_name(const MacroEntry& a, std::string_view b) {
  using name_index::load_word;
  const std::size_t n = b.size();
  if (n > kNameHead) return std::memcmp(a.name.data(), b.data(), n) == 0;
  for (std::size_t i = 0; i + 8 < n; i += 8)
    if (load_word(a.name_head + i) != load_word(b.data() + i)) return false;
  return load_word(a.name_head + n - 8) == load_word(b.data() + n - 8);
}

void check_identifier(std::string_view text, std::string_view kind) {
  if (text.empty()) fatal(format("KUP error - %s identifier is missing\n", kind));
  if (!valid_identifier(text)) fatal(format("KUP error - illegal %s identifier <%s>\n", kind, text));
}

MacroEntry* lookup_macro(std::string_view name) { return name_index::lookup(name); }

std::string_view macro_value(const MacroEntry* entry, std::string& scratch) {
  if (entry == nullptr) return {};
  if (!is_list(entry)) return entry->value;
  scratch.clear();
  compose_list(entry, scratch);
  return scratch;
}

void note_quotes_dropped(std::string_view name) {
  MacroEntry* entry = find_macro(name);
  if (entry == nullptr || entry->list) return;
  entry->quotes_dropped = entry->quoted = true;
  entry->near_size = kFarValue;
}

namespace {

/// define_macro without the observer: stores the definition in the table.
int store_definition(std::string_view name, std::string_view value) {
  check_identifier(name, "macro");
  const std::uint64_t hash = hash_name(name);
  std::size_t slot = find_slot(name, hash);
  if (table.index[slot].entry != 0 && !is_list(entry_at(table.index[slot]))) {
    // A redefinition of a plain macro keeps the entry and its slot: the
    // same as removing it and appending it again, where the new entry
    // would take the place just freed.
    MacroEntry* entry = entry_at(table.index[slot]);
    if (entry->value != value) warn("KUP warning - macro <%s> was already defined\n", name);
    store_value(entry, value);
    unlink_chain(entry);
    link_newest(entry);
    return table.count;
  }
  if (table.index[slot].entry != 0) {
    // A list: its elements go with it. The texts may view the entry
    // about to be removed: keep copies.
    std::string& kept_name = table.kept_name;
    std::string& kept_value = table.kept_value;
    kept_name.assign(name);
    kept_value.assign(value);
    if (entry_at(table.index[slot])->value != kept_value)
      warn("KUP warning - macro <%s> was already defined\n", kept_name);
    remove_macro(kept_name);
    name = kept_name;
    value = kept_value;
    slot = find_slot(name, hash);
  }
  append_entry(name, value, slot, hash);
  if (table.count > kMaxMacros)
    fatal(format("KUP error - maximum number of macros reached: %d\n", table.count));
  return table.count;
}

}  // namespace

int define_macro(std::string_view name, std::string_view value) {
  const int count = store_definition(name, value);
  // The new definition is the newest entry; `name` may have viewed an
  // entry it replaced.
  if (run_observer != nullptr) [[unlikely]]
    run_observer->macro_defined(table.newest->name);
  return count;
}

int remove_macro(std::string_view name) {
  check_identifier(name, "macro");
  MacroEntry* entry = find_macro(name);
  if (entry == nullptr) {
    warn("KUP warning - attempt to remove an undefined macro <%s>\n", name);
    return -1;
  }
  if (is_list(entry)) {
    const std::string list_name(name);
    for (long long k = 0;; ++k) {
      std::string element = element_name(list_name, k);
      if (find_macro(element) == nullptr) break;
      remove_macro(element);
    }
    entry = find_macro(list_name);
  }
  unlink_entry(entry);
  return table.count;
}

int list_macro(std::string_view name) {
  if (name == "$ALL$") {
    int position = 0;
    for (const MacroEntry* e = table.oldest; e != nullptr; e = e->newer) print_entry(e, ++position);
    return table.count;
  }
  const MacroEntry* entry = find_macro(name);
  if (entry == nullptr) {
    err_write(format("[  ?]:  ( unknown)  %s\n", name));
    return -1;
  }
  int position = position_of(entry);
  print_entry(entry, position);
  return position;
}

int macro_count() { return table.count; }

int longest_probe() {
  int longest = 0;
  for (std::size_t slot = 0; slot < kIndexSlots; ++slot) {
    const Slot& s = table.index[slot];
    if (s.entry == 0) continue;
    const std::size_t distance = (slot - home_of(s)) & (kIndexSlots - 1);
    longest = std::max(longest, static_cast<int>(distance) + 1);
  }
  return longest;
}

MacroEntry* oldest_macro() { return table.oldest; }

void reset_macro_state() {
  while (table.oldest != nullptr) unlink_entry(table.oldest);
  macros.prefixes.clear();
  reset_expansion();
}

void enter_prefix_mode() {
  if (modes.prefix) return;
  modes.prefix = true;
  macros.prefixes.assign({"$", "@"});
}

void check_prefix_room() {
  if (static_cast<int>(macros.prefixes.size()) > kMaxPrefixes - 1)
    fatal_command_line("KUP error - too many prefixes\n");
}

void declare_prefix(std::string_view prefix) {
  enter_prefix_mode();
  check_prefix_room();
  check_identifier(prefix, "prefix");
  for (const std::string& p : macros.prefixes)
    if (p == prefix) return;
  macros.prefixes.emplace_back(prefix);
}

bool has_prefix(std::string_view text) {
  for (const std::string& p : macros.prefixes)
    if (text.substr(0, p.size()) == p) return true;
  return false;
}

int prefix_count() { return static_cast<int>(macros.prefixes.size()); }

const std::string& prefix_at(int index) { return macros.prefixes[static_cast<std::size_t>(index)]; }

}  // namespace kup
