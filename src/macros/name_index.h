// The hash of a macro name and its lookup in the index of the macro table,
// inline, so that the expansion of a data line looks names up without a
// call.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "macros/macro_table.h"

namespace kup::name_index {

/// Eight bytes of `p` as one word.
inline std::uint64_t load_word(const char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, 8);
  return word;
}

/// The last `n` (fewer than eight) bytes of a name as one word, read with
/// at most two loads. Bytes may be read twice: the hash only has to be a
/// function of the name.
inline std::uint64_t load_tail(const char* p, std::size_t n) {
  if (n >= 4) {
    std::uint32_t low, high;
    std::memcpy(&low, p, 4);
    std::memcpy(&high, p + n - 4, 4);
    return low | (std::uint64_t{high} << 32);
  }
  const auto byte = [p](std::size_t i) { return std::uint64_t{static_cast<unsigned char>(p[i])}; };
  return byte(0) | (byte(n / 2) << 8) | (byte(n - 1) << 16);
}

/// Spreads the bits of `h` over the highest bits of the result, which
/// choose the home slot: the high half folded onto the low one, then one
/// multiplication (every bit moves upwards).
inline std::uint64_t mix(std::uint64_t h) {
  h ^= h >> 32;
  return h * 0xFF51AFD7ED558CCDULL;
}

/// A hash of the name taken eight bytes at a time (names are short), in
/// two chains that take every other word, so that a long name is hashed
/// in about half the time. The chains of multiplications keep names of one
/// length apart but move the bits of a byte only upwards; the final mix
/// lets every byte reach the highest bits, so numbered names (NAME0,
/// ITEM_007, x[3]) spread over the home slots like random ones.
[[gnu::always_inline]] inline std::uint64_t hash_name(std::string_view name) {
  constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ULL;
  const std::size_t n = name.size();
  std::uint64_t h = n * kMultiplier;
  std::uint64_t g = 0;
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    h = (h ^ load_word(name.data() + i)) * kMultiplier;
    g = (g ^ load_word(name.data() + i + 8)) * kMultiplier;
  }
  if (i + 8 <= n) {
    h = (h ^ load_word(name.data() + i)) * kMultiplier;
    i += 8;
  }
  if (i < n) g = (g ^ load_tail(name.data() + i, n - i)) * kMultiplier;
  return mix(h ^ std::rotl(g, 32));
}

/// same_name for names of more than sixteen bytes, out of line so that
/// the lookups of short names stay small.
[[gnu::noinline]] bool same_long_name(const MacroEntry& a, std::string_view b);

/// Compares the name of an entry with `b`: one of up to kNameHead bytes
/// in the entry itself, word by word, without a library call.
[[gnu::always_inline]] inline bool same_name(const MacroEntry& a, std::string_view b) {
  const std::size_t n = b.size();
  if (a.name_size != n) return false;
  // Below eight bytes the tail loads cover every byte of the name, up to
  // sixteen two words do.
  if (n < 8) return load_tail(a.name_head, n) == load_tail(b.data(), n);
  if (n <= 16)
    return ((load_word(a.name_head) ^ load_word(b.data())) |
            (load_word(a.name_head + n - 8) ^ load_word(b.data() + n - 8))) == 0;
  return same_long_name(a, b);
}

inline constexpr int kSlotBits = std::countr_zero(kIndexSlots);

inline std::uint16_t tag_of(std::uint64_t hash) { return static_cast<std::uint16_t>(hash >> 32); }
inline std::size_t home_slot(std::uint64_t hash) { return static_cast<std::size_t>(hash >> (64 - kSlotBits)); }
inline MacroEntry* entry_at(const IndexSlot& s) { return &macros.table.pool[s.entry - 1u]; }

/// The one probe loop of the index: the entry named `name`, with `slot`
/// at its slot, or nullptr, with `slot` at the empty slot where it would
/// go. Inlined into the lookups of expansion, which mostly hit in the home
/// slot.
[[gnu::always_inline]] inline MacroEntry* probe(std::string_view name, std::uint64_t hash, std::size_t& slot) {
  const std::uint16_t tag = tag_of(hash);
  for (slot = home_slot(hash);; slot = (slot + 1) & (kIndexSlots - 1)) {
    const IndexSlot s = macros.table.index[slot];
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

/// The entry named `name`, or nullptr.
[[gnu::always_inline]] inline MacroEntry* lookup(std::string_view name) {
  std::size_t slot;
  return probe(name, hash_name(name), slot);
}

}  // namespace kup::name_index
