// The scanner of a text's class masks: where the fields worth visiting
// begin and end, found with bit scans.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "macros/class_masks.h"
#include "macros/field_scanner.h"
#include "text/char_classes.h"

namespace kup {

/// What kind of field the masked scanner found.
enum class MaskedKind {
  None,        ///< no field is left
  Word,        ///< a run of identifier characters that may name a macro or begins with "@"
  Number,      ///< a number field
  Backquoted,  ///< a backquoted field
};

/// Where the masked scan stands: the word of the masks it is in, the
/// field starts of that word not handed out yet and the ends of the runs
/// of that word (run_ends).
struct MaskedCursor {
  std::size_t word = 0;
  std::uint64_t starts = 0;
  std::uint64_t ends = 0;
};

/// One field found by the masked scanner: [start, stop) in the text, its
/// kind, and where the scan goes on.
struct MaskedField {
  std::size_t start = 0;
  std::size_t stop = 0;
  MaskedKind kind = MaskedKind::None;
  MaskedCursor next;
};

/// The field starts of word `word` of `m`, given in `before` the bits of
/// the characters whose next character continues their run. A field
/// begins at every backquote and at every start of a run of identifier
/// characters whose first character is of the set the masks were built
/// with.
inline std::uint64_t run_starts(const ClassMasks& m, std::size_t word, std::uint64_t before) {
  return (m.ident[word] & ~before & m.first[word]) | m.backquote[word];
}

/// The last character of every run that ends in word `word` of `m`
/// before its last character (a run at the end of the word may go on in
/// the next one).
inline std::uint64_t run_ends(const ClassMasks& m, std::size_t word) {
  const std::uint64_t ident = m.ident[word];
  return ident & ~((ident >> 1) | (std::uint64_t{1} << 63));
}

/// The end of the run of identifier characters that begins at `start`,
/// in the word of `at`.
inline std::size_t run_stop(const ClassMasks& m, const MaskedCursor& at, std::size_t start) {
  const std::uint64_t end_here = at.ends & (~std::uint64_t{0} << (start % 64));
  if (end_here == 0) [[unlikely]] return m.ident_end(start);
  return at.word * 64 + static_cast<std::size_t>(std::countr_zero(end_here)) + 1;
}

/// The scan of `m` from `from` on (from <= m.size), where a field may
/// begin whatever precedes it: `from` is where a number or backquoted
/// field ended, which may be inside what the masks see as one run.
inline MaskedCursor masked_cursor_at(const ClassMasks& m, std::size_t from) {
  const std::size_t word = from / 64;
  const unsigned offset = static_cast<unsigned>(from % 64);
  // The character before `from`, and the bits below it, do not count.
  const std::uint64_t before = (m.ident[word] << 1) & ~(std::uint64_t{1} << offset);
  return {word, run_starts(m, word, before) & (~std::uint64_t{0} << offset), run_ends(m, word)};
}

/// True if [p, end) holds digits only.
inline bool only_digits(const char* p, const char* end) {
  while (p != end && ctype::is(*p, ctype::kDigit)) ++p;
  return p == end;
}

/// The next field of the scan at `at` of `m`: a field that begins with a
/// character that may begin a name or with "@" is a Word and ends with its
/// run; one that begins with a digit is a number field and a backquote
/// begins a backquoted field, both measured by the character scanner's
/// rules, and the scan goes on where they end. A field of a character that
/// is not in the masks' set is never found. A pure function of its
/// arguments and the text the masks were built from.
[[gnu::always_inline]] inline MaskedField next_masked_field(const ClassMasks& m, MaskedCursor at) {
  while (at.starts == 0) {
    if (++at.word >= m.words) return {};
    at.starts = run_starts(m, at.word, (m.ident[at.word] << 1) | (m.ident[at.word - 1] >> 63));
    at.ends = run_ends(m, at.word);
  }
  const std::size_t start = at.word * 64 + static_cast<std::size_t>(std::countr_zero(at.starts));
  at.starts &= at.starts - 1;
  const char* const text = m.text;
  const char c = text[start];
  if (ctype::is(c, ctype::kNameStart) || c == '@') return {start, run_stop(m, at, start), MaskedKind::Word, at};
  if (c != '`') {
    // A run of digits alone, not followed by a point, is the whole number
    // field: the scan goes on in this word.
    const std::size_t stop = run_stop(m, at, start);
    if (only_digits(text + start, text + stop) && (stop == m.size || text[stop] != '.'))
      return {start, stop, MaskedKind::Number, at};
  }
  const std::size_t stop = static_cast<std::size_t>(special_field_end(text + start, text + m.size) - text);
  return {start, stop, c == '`' ? MaskedKind::Backquoted : MaskedKind::Number, masked_cursor_at(m, stop)};
}

/// The first field of the text of `m`.
[[gnu::always_inline]] inline MaskedField first_masked_field(const ClassMasks& m) {
  return next_masked_field(m, masked_cursor_at(m, 0));
}

}  // namespace kup
