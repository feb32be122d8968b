// The index of the macro table from a name to its entry: the hash of a
// name, the slots probed from its home slot, and the counts of the names
// by shape and first byte that refuse most words before any hashing. The
// lookup is inline, so that the expansion of a data line finds names
// without a call.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "macros/class_masks.h"
#include "macros/macro_entry.h"

namespace kup {

namespace name_index {

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

/// Slots of the index: a power of two above sixteen times the most
/// entries, so that nearly every lookup finds its name in its home slot (a
/// lookup that probes further costs a mispredicted branch, which with a
/// thousand names costs more than the misses of the larger index).
inline constexpr std::size_t kSlots = 16384;
inline constexpr int kSlotBits = std::countr_zero(kSlots);

/// The slot after `slot`, the first after the last.
inline std::size_t next_slot(std::size_t slot) { return (slot + 1) & (kSlots - 1); }

/// The slot where a lookup of a name of hash `hash` begins: its highest bits.
inline std::size_t home_slot(std::uint64_t hash) { return static_cast<std::size_t>(hash >> (64 - kSlotBits)); }

/// The bits of a hash a slot keeps, below those of the home slot.
inline std::uint16_t tag_of(std::uint64_t hash) { return static_cast<std::uint16_t>(hash >> 32); }

/// Names are counted by first byte and length modulo this.
inline constexpr std::size_t kShapeLengths = 32;

}  // namespace name_index

/// One slot of the index: four bytes, sixteen bits of the name's hash and
/// the entry's place in the pool. Probes compare names only when the bits
/// agree.
struct IndexSlot {
  std::uint16_t tag = 0;    ///< bits of the name's hash below those of the home slot
  std::uint16_t entry = 0;  ///< place in the pool plus one; 0 for an empty slot
};

/// Where a lookup of a name ended. It holds while the index is unchanged
/// (no insert, no erase): the index's changes() say so.
struct IndexPlace {
  MacroEntry* entry;      ///< the entry named so, or nullptr
  std::size_t slot;       ///< its slot, or the empty slot where it would go
  std::uint64_t hash;     ///< the name's hash
  std::uint32_t changes;  ///< the index's changes() when it was found
};

/// Open-addressing index from name to entry, over a pool of entries that
/// the caller owns and names once (use_entries): probed linearly from the
/// slot given by the highest bits of the name's hash, deleted by backward
/// shift. Beside the slots it counts the names by first byte and length,
/// and by first byte alone.
class NameIndex {
 public:
  /// The pool the places of the slots count in; it must not move while
  /// the index holds entries.
  void use_entries(MacroEntry* entries) { entries_ = entries; }

  /// The entry named `name`, or nullptr: the lookup of every caller. Most
  /// names that no macro has are refused by their shape, before any
  /// hashing.
  [[gnu::always_inline]] MacroEntry* find(std::string_view name) const {
    if (name.empty() || !may_hold(name)) return nullptr;
    std::size_t slot;
    return probe(name, name_index::hash_name(name), slot);
  }

  /// Where `name` is, or the empty slot where it would go.
  IndexPlace locate(std::string_view name) const {
    const std::uint64_t hash = name_index::hash_name(name);
    std::size_t slot;
    MacroEntry* entry = probe(name, hash, slot);
    return {entry, slot, hash, changes_};
  }

  /// Counts every insert and erase, so that a place found before one is
  /// known to be stale.
  std::uint32_t changes() const { return changes_; }

  /// Puts the entry at `place` of the pool, named `name`, in the empty
  /// slot that `where` (a locate of `name`, with no change since) found.
  /// True when first_bytes changed.
  bool insert(const IndexPlace& where, std::size_t place, std::string_view name);

  /// Takes the entry named `name`, which the index holds, out of it.
  /// True when first_bytes changed.
  bool erase(std::string_view name);

  /// False when no name of the index has the first byte and length of
  /// `name` (which must not be empty); true says only that one may.
  bool may_hold(std::string_view name) const {
    return shapes_[static_cast<unsigned char>(name[0])][name.size() % name_index::kShapeLengths] != 0;
  }

  /// The printable first bytes of the names in the index.
  const CharSet& first_bytes() const { return first_bytes_; }

  /// The most slots a lookup of a name in the index visits: how well the
  /// names spread over it.
  int longest_probe() const;

 private:
  /// The one probe loop: the entry named `name`, with `slot` at its slot,
  /// or nullptr, with `slot` at the empty slot where it would go.
  [[gnu::always_inline]] MacroEntry* probe(std::string_view name, std::uint64_t hash, std::size_t& slot) const {
    const std::uint16_t tag = name_index::tag_of(hash);
    for (slot = name_index::home_slot(hash);; slot = name_index::next_slot(slot)) {
      const IndexSlot s = slots_[slot];
      if (s.entry == 0) return nullptr;
      if (s.tag == tag) {
        MacroEntry* entry = entries_ + (s.entry - 1u);
        if (name_index::same_name(*entry, name)) [[likely]] return entry;
      }
    }
  }

  bool count(std::string_view name, int change);
  /// The home slot of the entry in `s` (rare: it hashes the name again).
  std::size_t home_of(const IndexSlot& s) const;

  MacroEntry* entries_ = nullptr;
  std::uint32_t changes_ = 0;

  IndexSlot slots_[name_index::kSlots];
  std::uint16_t shapes_[256][name_index::kShapeLengths] = {};
  std::uint16_t firsts_[256] = {};
  CharSet first_bytes_;
};

}  // namespace kup
