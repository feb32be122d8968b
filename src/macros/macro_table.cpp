#include "macros/macro_table.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

#include "driver/diagnostics.h"
#include "driver/driver.h"
#include "driver/output.h"
#include "driver/text_format.h"
#include "macros/expansion.h"
#include "macros/lists.h"
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

/// Eight bytes of `p` as one word.
std::uint64_t load_word(const char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, 8);
  return word;
}

/// The last `n` (fewer than eight) bytes of a name as one word, read with
/// at most two loads. Bytes may be read twice: the hash only has to be a
/// function of the name.
std::uint64_t load_tail(const char* p, std::size_t n) {
  if (n >= 4) {
    std::uint32_t low, high;
    std::memcpy(&low, p, 4);
    std::memcpy(&high, p + n - 4, 4);
    return low | (std::uint64_t{high} << 32);
  }
  const auto byte = [p](std::size_t i) { return std::uint64_t{static_cast<unsigned char>(p[i])}; };
  return byte(0) | (byte(n / 2) << 8) | (byte(n - 1) << 16);
}

/// Spreads every bit of `h` over every bit of the result (a bijection with
/// full avalanche: two multiply-xorshift rounds).
std::uint64_t mix(std::uint64_t h) {
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDULL;
  h ^= h >> 33;
  h *= 0xC4CEB9FE1A85EC53ULL;
  return h ^ (h >> 33);
}

/// A hash of the name taken eight bytes at a time (names are short). The
/// chain of multiplications keeps names of one length apart but moves the
/// bits of a byte only upwards; the final mix lets every byte reach every
/// bit, so numbered names (NAME0, ITEM_007, x[3]) spread like random ones.
[[gnu::always_inline]] inline std::uint64_t hash_name(std::string_view name) {
  constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ULL;
  std::uint64_t h = name.size() * kMultiplier;
  std::size_t i = 0;
  for (; i + 8 <= name.size(); i += 8) h = (h ^ load_word(name.data() + i)) * kMultiplier;
  if (i < name.size()) h = (h ^ load_tail(name.data() + i, name.size() - i)) * kMultiplier;
  return mix(h);
}

/// Compares the name of an entry with `b`: one of up to kNameHead bytes
/// in the entry itself, word by word, without a library call.
[[gnu::always_inline]] inline bool same_name(const MacroEntry& a, std::string_view b) {
  const std::size_t n = b.size();
  if (a.name_size != n) return false;
  if (n > kNameHead) return std::memcmp(a.name.data(), b.data(), n) == 0;
  // Below eight bytes the tail loads cover every byte of the name.
  if (n < 8) return load_tail(a.name_head, n) == load_tail(b.data(), n);
  for (std::size_t i = 0; i + 8 < n; i += 8)
    if (load_word(a.name_head + i) != load_word(b.data() + i)) return false;
  return load_word(a.name_head + n - 8) == load_word(b.data() + n - 8);
}

constexpr int kSlotBits = std::countr_zero(kIndexSlots);

std::uint16_t tag_of(std::uint64_t hash) { return static_cast<std::uint16_t>(hash); }
std::size_t home_slot(std::uint64_t hash) { return static_cast<std::size_t>(hash >> (64 - kSlotBits)); }
MacroEntry* entry_at(const Slot& s) { return &table.pool[s.entry - 1u]; }

/// The one probe loop of the index: the entry named `name`, with `slot`
/// at its slot, or nullptr, with `slot` at the empty slot where it would
/// go. Inlined into the lookups of expansion, which mostly hit in the home
/// slot.
[[gnu::always_inline]] inline MacroEntry* probe(std::string_view name, std::uint64_t hash, std::size_t& slot) {
  const std::uint16_t tag = tag_of(hash);
  for (slot = home_slot(hash);; slot = (slot + 1) & (kIndexSlots - 1)) {
    const Slot s = table.index[slot];
    if (s.entry == 0) return nullptr;
    if (s.tag == tag) {
      MacroEntry* entry = entry_at(s);
      if (same_name(*entry, name)) [[likely]] return entry;
    }
  }
}

/// The slot holding `name`, or the empty slot where it would go.
[[gnu::always_inline]] inline std::size_t find_slot(std::string_view name, std::uint64_t hash) {
  std::size_t slot;
  probe(name, hash, slot);
  return slot;
}

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
void store_value(MacroEntry* entry, std::string_view value) {
  entry->value.assign(value);
  entry->list = entry->value == kListMarker;
  entry->quoted = entry->value.find('\'') != std::string::npos;
  entry->backquoted = entry->value.find('`') != std::string::npos;
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
  ++shape_count(entry->name);
  ++table.count;
}

void unlink_entry(MacroEntry* entry) {
  erase_slot(find_slot(entry->name));
  --shape_count(entry->name);
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

void check_identifier(std::string_view text, std::string_view kind) {
  if (text.empty()) fatal(format("KUP error - %s identifier is missing\n", kind));
  if (!valid_identifier(text)) fatal(format("KUP error - illegal %s identifier <%s>\n", kind, text));
}

MacroEntry* lookup_macro(std::string_view name) {
  std::size_t slot;
  return probe(name, hash_name(name), slot);
}

std::string_view macro_value(const MacroEntry* entry, std::string& scratch) {
  if (entry == nullptr) return {};
  if (!is_list(entry)) return entry->value;
  scratch.clear();
  compose_list(entry, scratch);
  return scratch;
}

int define_macro(std::string_view name, std::string_view value) {
  check_identifier(name, "macro");
  const std::uint64_t hash = hash_name(name);
  std::size_t slot = find_slot(name, hash);
  if (table.index[slot].entry != 0 && !is_list(entry_at(table.index[slot]))) {
    // A redefinition of a plain macro keeps the entry and its slot: the
    // same as removing it and appending it again, where the new entry
    // would take the place just freed.
    MacroEntry* entry = entry_at(table.index[slot]);
    if (entry->value != value) warn(format("KUP warning - macro <%s> was already defined\n", name));
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
      warn(format("KUP warning - macro <%s> was already defined\n", kept_name));
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

int remove_macro(std::string_view name) {
  check_identifier(name, "macro");
  MacroEntry* entry = find_macro(name);
  if (entry == nullptr) {
    warn(format("KUP warning - attempt to remove an undefined macro <%s>\n", name));
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
