#include "macros/expansion.h"

#include <cstdint>
#include <cstring>
#include <deque>

#include "driver/driver.h"
#include "macros/macro_table.h"

namespace kup {

namespace {

/// Nesting depth of expand_text; each depth has its own working texts, kept
/// between calls so that warm runs allocate nothing.
int depth = 0;
int indirection_steps = 0;
bool last_may_hold_backquote = true;

struct WorkTexts {
  std::string field;
  std::string stripped;
  std::string nested;
};
std::deque<WorkTexts> work;  // a deque keeps outer references valid

/// Counts one indirection step of `field`; too many end the run.
void count_step(std::string_view field) {
  if (++indirection_steps > kMaxIndirections)
    fatal(format("KUP error - too many indirections for <%s>\n", field));
}

[[noreturn]] void too_long() { fatal(format("KUP error - string too long (max = %d)\n", kTextBufferSize)); }

/// Copies a short piece with a few word moves instead of a library call.
inline void copy_piece(char* to, const char* from, std::size_t n) {
  if (n >= 8 && n <= 16) {
    std::uint64_t head, tail;
    std::memcpy(&head, from, 8);
    std::memcpy(&tail, from + n - 8, 8);
    std::memcpy(to, &head, 8);
    std::memcpy(to + n - 8, &tail, 8);
  } else if (n >= 4 && n < 8) {
    std::uint32_t head, tail;
    std::memcpy(&head, from, 4);
    std::memcpy(&tail, from + n - 4, 4);
    std::memcpy(to, &head, 4);
    std::memcpy(to + n - 4, &tail, 4);
  } else if (n < 4) {
    for (std::size_t i = 0; i < n; ++i) to[i] = from[i];
  } else {
    std::memcpy(to, from, n);
  }
}

/// The result of one expansion, built in a buffer that holds the longest
/// text: a result that would be longer is refused before it is written.
class ResultText {
 public:
  void put(const char* p, std::size_t n) {
    if (n > kMaxText - size_) too_long();
    copy_piece(buffer_ + size_, p, n);
    size_ += n;
  }
  void put(std::string_view text) { put(text.data(), text.size()); }

  /// Puts `value` leaving out its single quotes.
  void put_unquoted(std::string_view value) {
    const char* p = value.data();
    const char* const end = p + value.size();
    while (const void* quote = std::memchr(p, '\'', static_cast<std::size_t>(end - p))) {
      const char* q = static_cast<const char*>(quote);
      put(p, static_cast<std::size_t>(q - p));
      p = q + 1;
    }
    put(p, static_cast<std::size_t>(end - p));
  }

  std::string_view text() const { return {buffer_, size_}; }

  /// Set when a backquoted field or a value that may hold a backquote is put.
  bool backquote = false;

 private:
  char buffer_[kMaxText];
  std::size_t size_ = 0;
};

/// Resolves a field that begins with "@" into the complete expansion of
/// the rest of it, as often as the result begins with "@" again. The
/// result is kept in `w.field`.
std::string_view resolve_field(std::string_view field, WorkTexts& w) {
  w.field.assign(field);
  while (!w.field.empty() && w.field.front() == '@') {
    count_step(w.field);
    strip_lead(w.field, w.stripped, '@');
    expand_text(w.stripped, w.nested, false);
    w.field.swap(w.nested);
  }
  return w.field;
}

/// The value a field is replaced by, or nullptr when the field stays as it
/// is. In prefix mode an undefined candidate is reported.
inline const MacroEntry* replacement_of(std::string_view field, bool prefix_mode) {
  if (prefix_mode && !has_prefix(field)) return nullptr;
  const MacroEntry* entry = find_macro(field);
  if (entry == nullptr && prefix_mode) warn(format("KUP warning - macro <%s> is not defined\n", field));
  return entry;
}

/// Puts the replacement of a field resolved from an indirection.
void put_resolved(ResultText& out, std::string_view field, bool prefix_mode) {
  if (const MacroEntry* entry = replacement_of(field, prefix_mode)) out.put_unquoted(macro_value(entry));
  else out.put(field);
}

void expand_fields(std::string_view source, ResultText& out, bool prefix_mode, WorkTexts& w) {
  // Fields are views of the source. The source between replaced fields,
  // white space included, is copied in one piece when the next replacement
  // (or the end) is reached: `kept` is where that uncopied text begins.
  const char* const end = source.data() + source.size();
  const char* kept = source.data();
  FieldBounds b = scan_bounds(kept, end);
  for (;;) {
    std::string_view field(b.start, static_cast<std::size_t>(b.stop - b.start));
    if (!field.empty() && field.front() == '`') out.backquote = true;
    const bool indirect = !field.empty() && field.front() == '@';
    const MacroEntry* entry = indirect ? nullptr : replacement_of(field, prefix_mode);
    if (indirect || entry != nullptr) {
      out.put(kept, static_cast<std::size_t>(b.start - kept));
      kept = b.stop;
      if (indirect) {
        if (depth == 1) indirection_steps = 0;
        put_resolved(out, resolve_field(field, w), prefix_mode);
        out.backquote = true;
      } else if (!entry->list && !entry->quoted) {
        out.put(entry->value);
        out.backquote |= entry->backquoted;
      } else {
        out.put_unquoted(macro_value(entry));
        out.backquote = true;
      }
    }
    if (b.after == end || *b.after == '\n') break;
    b = scan_bounds(b.after, end);
  }
  // Up to the end of the last field; then its trailing white space, up to
  // a newline, on a data line only.
  if (b.stop > kept) out.put(kept, static_cast<std::size_t>(b.stop - kept));
  if (!modes.directive_line) {
    const std::string_view trail(b.stop, static_cast<std::size_t>(b.after - b.stop));
    out.put(trail.substr(0, trail.find('\n')));
  }
}

}  // namespace

void expand_text(std::string_view source, std::string& out, bool prefix_mode) {
  if (!source.empty() && source.data() >= out.data() && source.data() < out.data() + out.size()) {
    const std::string copy(source);
    expand_text(copy, out, prefix_mode);
    return;
  }
  out.clear();
  last_may_hold_backquote = false;
  if (source.empty() || source.front() == '\n') return;
  while (work.size() <= static_cast<std::size_t>(depth)) work.emplace_back();
  ResultText result;
  ++depth;
  try {
    expand_fields(source, result, prefix_mode, work[static_cast<std::size_t>(depth - 1)]);
  } catch (...) {
    --depth;
    throw;
  }
  --depth;
  out.assign(result.text());
  last_may_hold_backquote = result.backquote;
}

bool expansion_may_hold_backquote() { return last_may_hold_backquote; }

void resolve_indirection(std::string& name) {
  static std::string expanded;
  // Every round expands a field that begins with "@", which counts its own
  // steps; the count runs over all rounds, so a name leading back to itself
  // ends like a field of a data line does.
  indirection_steps = 0;
  while (!name.empty() && name.front() == '@') {
    ++depth;  // keeps the nested expansion from restarting the count
    try {
      expand_text(name, expanded, false);
    } catch (...) {
      --depth;
      throw;
    }
    --depth;
    name.swap(expanded);
  }
}

}  // namespace kup
