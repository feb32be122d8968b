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
/// as a string, a name too long for the head and the chain come after.
/// A name that fits the head is kept there alone, so that defining it
/// allocates nothing.
struct alignas(64) MacroEntry {
  std::uint32_t name_size = 0;
  bool list = false;    ///< the value is the list marker
  bool quoted = false;  ///< the value holds a single quote
  bool backquoted = false;  ///< the value holds a backquote
  std::uint8_t near_size = kFarValue;  ///< the length of the value kept after the name, or kFarValue
  /// The first bytes of the name, then (when near_size says so) the value.
  /// The fields before it take 8 bytes, so that the sixteen bytes moved
  /// after a name of kNearNameMax bytes end with the first line. Written
  /// whole by assign_name, before any read.
  char name_head[kNameHead];
  /// A value of fewer than sixteen bytes that is not kept after the name,
  /// in sixteen bytes of its own, so that expansion moves it at once.
  char short_value[16] = {};
  /// The value was given with single quotes that were dropped before it
  /// was stored (a value of -d); quoted is set too, so that expansion
  /// takes the road where it can say so. Read only on that road.
  bool quotes_dropped = false;
  std::string value;
  /// The name, when it is longer than kNameHead bytes; empty otherwise.
  std::string long_name;
  MacroEntry* older = nullptr;
  MacroEntry* newer = nullptr;

  /// An entry to be named: its fields as given here, the head left to
  /// assign_name. (Provided, so that making one does not zero all of it
  /// first.)
  MacroEntry() {}

  /// The name, viewed in the entry: it holds until the entry is named anew.
  std::string_view name() const {
    if (name_size <= kNameHead) [[likely]] return {name_head, name_size};
    return long_name;
  }

  /// Names the entry `text`: its length and its first bytes, the rest of
  /// the head zero, and a longer name as a string. `text` may view the
  /// entry's own name.
  void assign_name(std::string_view text) {
    const std::size_t n = text.size();
    if (n > kNameHead) long_name.assign(text);
    else long_name.clear();
    const std::size_t head = std::min(n, kNameHead);
    std::memmove(name_head, text.data(), head);
    std::memset(name_head + head, 0, kNameHead - head);
    name_size = static_cast<std::uint32_t>(n);
  }
};

}  // namespace kup
