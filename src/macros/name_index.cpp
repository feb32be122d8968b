#include "macros/name_index.h"

#include <algorithm>

namespace kup {

using name_index::home_slot;
using name_index::kSlots;
using name_index::next_slot;

bool name_index::same_long_name(const MacroEntry& a, std::string_view b) {
  const std::size_t n = b.size();
  if (n > kNameHead) return std::memcmp(a.long_name.data(), b.data(), n) == 0;
  for (std::size_t i = 0; i + 8 < n; i += 8)
    if (load_word(a.name_head + i) != load_word(b.data() + i)) return false;
  return load_word(a.name_head + n - 8) == load_word(b.data() + n - 8);
}

std::size_t NameIndex::home_of(const IndexSlot& s) const {
  return home_slot(name_index::hash_name(entries_[s.entry - 1u].name()));
}

/// Counts a name in (`change` 1) or out (-1). True when its first byte
/// joined or left first_bytes.
bool NameIndex::count(std::string_view name, int change) {
  const auto first = static_cast<unsigned char>(name[0]);
  shapes_[first][name.size() % name_index::kShapeLengths] += static_cast<std::uint16_t>(change);
  const std::uint16_t before = firsts_[first];
  firsts_[first] += static_cast<std::uint16_t>(change);
  if (!CharSet::fits(first) || (before == 0) == (firsts_[first] == 0)) return false;
  if (before == 0) first_bytes_.add(first);
  else first_bytes_.remove(first);
  return true;
}

bool NameIndex::insert(const IndexPlace& where, std::size_t place, std::string_view name) {
  slots_[where.slot] = IndexSlot{name_index::tag_of(where.hash), static_cast<std::uint16_t>(place + 1)};
  ++changes_;
  return count(name, +1);
}

bool NameIndex::erase(std::string_view name) {
  // Empties the name's slot, moving later members of its probe run back
  // so that every entry stays reachable from its home slot.
  std::size_t hole = locate(name).slot;
  for (std::size_t next = next_slot(hole); slots_[next].entry != 0; next = next_slot(next)) {
    const std::size_t home = home_of(slots_[next]);
    const bool movable = hole <= next ? (home <= hole || home > next) : (home <= hole && home > next);
    if (movable) {
      slots_[hole] = slots_[next];
      hole = next;
    }
  }
  slots_[hole] = IndexSlot{};
  ++changes_;
  return count(name, -1);
}

int NameIndex::longest_probe() const {
  int longest = 0;
  for (std::size_t slot = 0; slot < kSlots; ++slot) {
    const IndexSlot& s = slots_[slot];
    if (s.entry == 0) continue;
    const std::size_t distance = (slot - home_of(s)) & (kSlots - 1);
    longest = std::max(longest, static_cast<int>(distance) + 1);
  }
  return longest;
}

}  // namespace kup
