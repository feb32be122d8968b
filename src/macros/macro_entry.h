// One macro of the table: its name, laid out for the name index's
// comparisons, and its stored value with what expansion asks of it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace kup {

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
/// replaced from one line. Another short value's sixteen bytes, the value
/// as a string, the name as a string and the chain come after.
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
  /// A value of fewer than sixteen bytes that is not kept after the name,
  /// in sixteen bytes of its own, so that expansion moves it at once.
  char short_value[16] = {};
  std::string value;
  std::string name;
  MacroEntry* older = nullptr;
  MacroEntry* newer = nullptr;

  /// Names the entry `name`: the string, its length and its first bytes,
  /// the rest of the head zero.
  void assign_name(std::string_view text) {
    name.assign(text);
    name_size = static_cast<std::uint32_t>(text.size());
    std::memset(name_head, 0, kNameHead);
    std::memcpy(name_head, text.data(), std::min(text.size(), kNameHead));
  }
};

}  // namespace kup
