#include "macros/macro_table.h"

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

/// Tells expansion which first bytes the names defined now have.
void note_first_bytes() { macros.expansion.visited = kAlwaysVisited | table.index.first_bytes(); }

std::uint32_t new_entry() {
  if (!table.free_entries.empty()) {
    std::uint32_t place = table.free_entries.back();
    table.free_entries.pop_back();
    return place;
  }
  // Reserved once, so entries never move and the chain's pointers hold.
  if (table.pool.capacity() < kPoolSize) {
    table.pool.reserve(kPoolSize);
    table.index.use_entries(table.pool.data());
  }
  table.pool.emplace_back();
  return static_cast<std::uint32_t>(table.pool.size() - 1);
}

/// Copies `n` (fewer than sixteen) bytes with a few word moves instead of
/// a library call.
inline void copy_short(char* to, const char* from, std::size_t n) {
  if (n >= 8) {
    std::uint64_t head, tail;
    std::memcpy(&head, from, 8);
    std::memcpy(&tail, from + n - 8, 8);
    std::memcpy(to, &head, 8);
    std::memcpy(to + n - 8, &tail, 8);
  } else if (n >= 4) {
    std::uint32_t head, tail;
    std::memcpy(&head, from, 4);
    std::memcpy(&tail, from + n - 4, 4);
    std::memcpy(to, &head, 4);
    std::memcpy(to + n - 4, &tail, 4);
  } else if (n > 0) {
    // One, two or three bytes: the first, the middle and the last.
    to[0] = from[0];
    to[n / 2] = from[n / 2];
    to[n - 1] = from[n - 1];
  }
}

/// Stores the value of an entry and notes what expansion asks of it.
[[gnu::always_inline]] inline void store_value(MacroEntry* entry, std::string_view value) {
  entry->value.assign(value);
  entry->list = entry->value == kListMarker;
  entry->quoted = entry->value.find('\'') != std::string::npos;
  entry->backquoted = entry->value.find('`') != std::string::npos;
  entry->quotes_dropped = false;
  entry->near_size = kFarValue;
  if (value.size() >= sizeof entry->short_value) return;
  if (entry->list || entry->quoted || entry->name_size > kNearNameMax) {
    copy_short(entry->short_value, value.data(), value.size());
    return;
  }
  copy_short(entry->name_head + entry->name_size, value.data(), value.size());
  entry->near_size = static_cast<std::uint8_t>(value.size());
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

void append_entry(std::string_view name, std::string_view value, const IndexPlace& where) {
  const std::uint32_t place = new_entry();
  MacroEntry* entry = &table.pool[place];
  entry->assign_name(name);
  store_value(entry, value);
  link_newest(entry);
  if (table.index.insert(where, place, entry->name())) note_first_bytes();
  ++table.count;
}

void unlink_entry(MacroEntry* entry) {
  if (table.index.erase(entry->name())) note_first_bytes();
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
  const char* const end = text.data() + text.size();
  return ctype::is(text[0], ctype::kNameStart) && skip_class(text.data() + 1, end, ctype::kNameRest) == end;
}

void print_entry(const MacroEntry* entry, int position) {
  const bool global = !modes.prefix || has_prefix(entry->name());
  err_write(format(global ? "[%3d]:  (  global)  %s\t\t<%s>\n" : "[%3d]:  (internal)  %s\t\t<%s>\n",
                   position, entry->name(), entry->value));
}

}  // namespace

namespace {

/// Ends the run for `text`, which is no identifier; apart, so that the
/// check of a good name keeps no frame for the message.
[[gnu::noinline, gnu::cold]] void identifier_fault(std::string_view text, std::string_view kind) {
  if (text.empty()) fatal(format("KUP error - %s identifier is missing\n", kind));
  fatal(format("KUP error - illegal %s identifier <%s>\n", kind, text));
}

}  // namespace

void check_identifier(std::string_view text, std::string_view kind) {
  if (text.empty() || !valid_identifier(text)) [[unlikely]]
    identifier_fault(text, kind);
}

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

/// define_entry without the observer: stores the definition in the table.
[[gnu::always_inline]] inline int store_definition(std::string_view name, std::string_view value,
                                                   IndexPlace where) {
  if (where.entry != nullptr && !is_list(where.entry)) {
    // A redefinition of a plain macro keeps the entry and its slot: the
    // same as removing it and appending it again, where the new entry
    // would take the place just freed.
    MacroEntry* entry = where.entry;
    if (entry->value != value) warn("KUP warning - macro <%s> was already defined\n", name);
    store_value(entry, value);
    unlink_chain(entry);
    link_newest(entry);
    return table.count;
  }
  if (where.entry != nullptr) {
    // A list: its elements go with it. The texts may view the entry
    // about to be removed: keep copies.
    std::string& kept_name = table.kept_name;
    std::string& kept_value = table.kept_value;
    kept_name.assign(name);
    kept_value.assign(value);
    if (where.entry->value != kept_value) warn("KUP warning - macro <%s> was already defined\n", kept_name);
    remove_macro(kept_name);
    name = kept_name;
    value = kept_value;
    where = table.index.locate(name);
  }
  append_entry(name, value, where);
  if (table.count > kMaxMacros)
    fatal(format("KUP error - maximum number of macros reached: %d\n", table.count));
  return table.count;
}

/// Defines a macro whose name is an identifier; inline in both callers, so
/// that checking the name first adds no call of its own.
[[gnu::always_inline]] inline int define_entry(std::string_view name, std::string_view value,
                                               const IndexPlace& where) {
  const int count = store_definition(name, value, where);
  // The new definition is the newest entry; `name` may have viewed an
  // entry it replaced.
  if (run_observer != nullptr) [[unlikely]]
    run_observer->macro_defined(table.newest->name());
  return count;
}

}  // namespace

int define_macro(std::string_view name, std::string_view value) {
  check_identifier(name, "macro");
  return define_entry(name, value, table.index.locate(name));
}

int define_checked_macro(std::string_view name, std::string_view value) {
  return define_entry(name, value, table.index.locate(name));
}

IndexPlace locate_macro(std::string_view name) { return table.index.locate(name); }

int define_checked_macro(std::string_view name, std::string_view value, const IndexPlace& where) {
  if (where.changes != table.index.changes()) [[unlikely]]
    return define_checked_macro(name, value);
  return define_entry(name, value, where);
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

int longest_probe() { return table.index.longest_probe(); }

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
