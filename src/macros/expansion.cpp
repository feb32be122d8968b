#include "macros/expansion.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "driver/diagnostics.h"
#include "driver/driver.h"
#include "driver/environment.h"
#include "driver/text_format.h"
#include "macros/class_masks.h"
#include "macros/field_scanner.h"
#include "macros/field_warnings.h"
#include "macros/masked_scanner.h"
#include "macros/macro_table.h"
#include "text/char_classes.h"
#include "text/edits.h"

namespace kup {

namespace {

/// Whether the outermost expansion uses class masks: a choice of the
/// process (use_class_masks), which no run resets.
bool masks_enabled = true;

// A cache, not state: what expansion keeps only so that a warm run
// allocates nothing, written anew by every use. The state of expansion is
// macros.expansion.

/// The working texts of one nesting of expansion.
struct WorkTexts {
  std::string field;
  std::string stripped;
  std::string nested;
  std::string composed;  ///< the value of a list
};

/// The working texts of every nesting reached so far; each stays where it
/// was made, so outer references stay valid.
std::vector<std::unique_ptr<WorkTexts>> work;

/// Makes the working texts of every depth up to `d`.
[[gnu::noinline]] void make_work(std::size_t d) {
  while (work.size() <= d) work.push_back(std::make_unique<WorkTexts>());
}

/// The working texts of depth `d`, made when first needed.
inline WorkTexts& work_at(std::size_t d) {
  if (d >= work.size()) [[unlikely]] make_work(d);
  return *work[d];
}

/// The expansions of resolve_indirection.
std::string resolved;

/// How the fields of one expansion are replaced.
struct Pass {
  bool prefix_mode;
  TextKind kind;
  /// An expansion asked for from outside, not one of an indirection: each
  /// of its fields counts its indirection steps afresh, and its text may be
  /// scanned with class masks (nested expansions, rare and short, are
  /// scanned a character at a time).
  bool outermost;
};

Expanded expand(std::string_view source, char* buffer, const Pass& pass);

/// The expansion of an indirection, inside another expansion, into `out`.
void expand_nested(std::string_view source, std::string& out, TextKind kind) {
  char buffer[kMaxText + kExpansionSlack];
  const Expanded result = expand(source, buffer, Pass{false, kind, false});
  out.assign(buffer, result.size);
}

/// Counts one indirection step of `field`; too many end the run.
void count_step(std::string_view field) {
  if (++macros.expansion.indirection_steps > kMaxIndirections)
    fatal(format("KUP error - too many indirections for <%s>\n", field));
}

[[noreturn]] void too_long() { fatal(string_too_long()); }

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
  explicit ResultText(char* buffer) : buffer_(buffer) {}

  void put(const char* p, std::size_t n) {
    if (n > kMaxText - size_) too_long();
    copy_piece(buffer_ + size_, p, n);
    size_ += n;
  }
  void put(std::string_view text) { put(text.data(), text.size()); }

  /// Puts a piece of the source text, which is readable up to
  /// `readable_end`. A short piece far enough from that end is moved as 32
  /// bytes at once, without a branch on its length: the bytes after it
  /// land in the slack of the buffer or are written over by what follows.
  void put_source(const char* p, std::size_t n) {
    if (n > kMaxText - size_) too_long();
    if (n <= kExpansionSlack && readable_end - p >= static_cast<std::ptrdiff_t>(kExpansionSlack))
      std::memcpy(buffer_ + size_, p, kExpansionSlack);
    else
      copy_piece(buffer_ + size_, p, n);
    size_ += n;
  }

  /// Puts the stored value of `entry`. One of fifteen characters or fewer
  /// is moved as sixteen bytes at once from its padded copy.
  void put_stored(const MacroEntry& entry) {
    const std::size_t n = entry.value.size();
    if (n > kMaxText - size_) too_long();
    if (n < sizeof entry.short_value)
      std::memcpy(buffer_ + size_, entry.short_value, sizeof entry.short_value);
    else
      copy_piece(buffer_ + size_, entry.value.data(), n);
    size_ += n;
  }

  /// Puts a value of `n` (fewer than sixteen) bytes kept beside its name,
  /// moved as sixteen bytes at once.
  void put_near(const char* p, std::size_t n) {
    if (n > kMaxText - size_) too_long();
    std::memcpy(buffer_ + size_, p, 16);
    size_ += n;
  }

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

  std::size_t size() const { return size_; }

  /// Set when a backquoted field or a value that may hold a backquote is put.
  bool backquote = false;
  /// How far the storage of the source text is readable, for put_source:
  /// its end, or more.
  const char* readable_end = nullptr;

 private:
  char* buffer_;
  std::size_t size_ = 0;
};

/// Resolves a field that begins with "@" into the complete expansion of
/// the rest of it, as often as the result begins with "@" again. The
/// result is kept in `w.field`.
std::string_view resolve_field(std::string_view field, TextKind kind, WorkTexts& w) {
  w.field.assign(field);
  while (!w.field.empty() && w.field.front() == '@') {
    count_step(w.field);
    strip_lead(w.field, w.stripped, '@');
    expand_nested(w.stripped, w.nested, kind);
    w.field.swap(w.nested);
  }
  return w.field;
}

/// The value a field is replaced by, or nullptr when the field stays as it
/// is. In prefix mode an undefined candidate is reported.
inline const MacroEntry* replacement_of(std::string_view field, bool prefix_mode) {
  if (prefix_mode && !has_prefix(field)) return nullptr;
  const MacroEntry* entry = find_macro(field);
  if (entry == nullptr && prefix_mode) warn("KUP warning - macro <%s> is not defined\n", field);
  return entry;
}

/// Puts a value that may hold single quotes, without them. Under
/// KUP_EXTRA_WARNINGS=1 a value put into a data line by its own expansion
/// is checked for quotes that the reader meant to keep.
void put_quoted_value(ResultText& out, const MacroEntry* entry, const Pass& pass, WorkTexts& w) {
  const std::string_view value = macro_value(entry, w.composed);
  if (settings.extra_warnings && pass.kind == TextKind::Data && pass.outermost) note_dropped_quotes(entry, value);
  out.put_unquoted(value);
}

/// Puts the replacement of a field resolved from an indirection.
void put_resolved(ResultText& out, std::string_view field, const Pass& pass, WorkTexts& w) {
  if (const MacroEntry* entry = replacement_of(field, pass.prefix_mode)) put_quoted_value(out, entry, pass, w);
  else out.put(field);
}

/// Puts the value of `entry`, which replaces a field; a list's value is
/// composed in `w`.
inline void put_value(ResultText& out, const MacroEntry* entry, const Pass& pass, WorkTexts& w) {
  if (entry->near_size != kFarValue) {
    out.put_near(entry->name_head + entry->name_size, entry->near_size);
    out.backquote |= entry->backquoted;
  } else if (!entry->list && !entry->quoted) {
    out.put_stored(*entry);
    out.backquote |= entry->backquoted;
  } else {
    put_quoted_value(out, entry, pass, w);
    out.backquote = true;
  }
}

/// replace_field for an indirection or in prefix mode.
[[gnu::noinline]] void replace_field_rarely(const char* start, const char* stop, const char*& kept,
                                            ResultText& out, const Pass& pass, WorkTexts& w) {
  const std::string_view field(start, static_cast<std::size_t>(stop - start));
  const bool indirect = field.front() == '@';
  const MacroEntry* entry = indirect ? nullptr : replacement_of(field, pass.prefix_mode);
  if (!indirect && entry == nullptr) return;
  out.put_source(kept, static_cast<std::size_t>(start - kept));
  kept = stop;
  if (indirect) {
    if (pass.outermost) macros.expansion.indirection_steps = 0;
    put_resolved(out, resolve_field(field, pass.kind, w), pass, w);
    out.backquote = true;
  } else {
    put_value(out, entry, pass, w);
  }
}

/// The replacement step of both scans: puts the replacement of the field
/// [start, stop) (not empty), if it has one, after the source from `kept`
/// up to the field; `kept` then moves past it. Inlined into both loops.
[[gnu::always_inline]] inline void replace_field(const char* start, const char* stop, const char*& kept, ResultText& out,
                                                 const Pass& pass, WorkTexts& w) {
  if (pass.prefix_mode || *start == '@') {
    replace_field_rarely(start, stop, kept, out, pass, w);
    return;
  }
  // The lookup need not ask whether the field is empty.
  if (start == stop) __builtin_unreachable();
  const MacroEntry* entry = find_macro({start, static_cast<std::size_t>(stop - start)});
  if (entry == nullptr) return;
  out.put_source(kept, static_cast<std::size_t>(start - kept));
  kept = stop;
  put_value(out, entry, pass, w);
}

/// Puts the rest of the source: up to `last_stop`, the end of its last
/// field, and then, on a data line only, the white space after that field
/// up to a newline.
inline void put_tail(const char* kept, const char* last_stop, const char* end, TextKind kind, ResultText& out) {
  if (last_stop > kept) out.put_source(kept, static_cast<std::size_t>(last_stop - kept));
  if (kind == TextKind::Data && last_stop != end) {
    const std::string_view trail(last_stop, static_cast<std::size_t>(end - last_stop));
    out.put(trail.substr(0, trail.find('\n')));
  }
}

// Both expansion loops take fields as views of the source. The source
// between replaced fields, white space included, is copied in one piece
// when the next replacement (or the end) is reached: `kept` is where that
// uncopied text begins.

/// Expands `source` field by field with the character scanner. Kept out
/// of line: inlined into expand, it costs the expansion of directives
/// more than it spares data lines.
[[gnu::noinline]] void expand_fields(std::string_view source, ResultText& out, const Pass& pass, WorkTexts& w) {
  const char* const end = source.data() + source.size();
  out.readable_end = end;
  const char* kept = source.data();
  FieldBounds b = scan_bounds(kept, end);
  for (;;) {
    if (b.start != b.stop) {
      if (*b.start == '`') out.backquote = true;
      replace_field(b.start, b.stop, kept, out, pass, w);
    }
    if (b.after == end || *b.after == '\n') break;
    b = scan_bounds(b.after, end);
  }
  put_tail(kept, b.stop, end, pass.kind, out);
}

/// What prefix mode visits: every field that may begin a name (one that
/// names no macro is reported), besides what is always visited.
constexpr CharSet kPrefixVisited = [] {
  CharSet set = kAlwaysVisited;
  for (unsigned char c = 'A'; c <= 'Z'; ++c) set.add(c);
  for (unsigned char c = 'a'; c <= 'z'; ++c) set.add(c);
  set.add('$');
  set.add('_');
  return set;
}();

/// The characters whose fields the masked scan visits.
const CharSet& visited_set(bool prefix_mode) { return prefix_mode ? kPrefixVisited : macros.expansion.visited; }

/// Expands `source` with the help of its class masks: only the fields that
/// may change are visited, and each is replaced as soon as it is found.
void expand_masked(std::string_view source, ResultText& out, const Pass& pass, WorkTexts& w,
                   const ClassMasks& m) {
  const char* const base = source.data();
  if (out.readable_end == nullptr) out.readable_end = base + source.size();
  const char* kept = base;
  std::size_t special_end = 0;  // the end of the last number or backquoted field
  for (MaskedField f = first_masked_field(m); f.kind != MaskedKind::None; f = next_masked_field(m, f.next)) {
    if (f.kind == MaskedKind::Word) {
      replace_field(base + f.start, base + f.stop, kept, out, pass, w);
    } else {
      out.backquote |= f.kind == MaskedKind::Backquoted;
      special_end = f.stop;
    }
  }
  // The last field ends after the last character that is not white space,
  // unless a backquoted field without its closing backquote runs to the end;
  // a text of white space only is kept whole.
  const std::size_t content_end = m.content_end();
  const std::size_t last_stop = content_end == 0 ? source.size() : std::max(content_end, special_end);
  put_tail(kept, base + last_stop, base + source.size(), pass.kind, out);
}

/// Runs one of the loops with the working texts of its nesting.
template <class Loop>
Expanded expand_nesting(char* buffer, Loop loop) {
  WorkTexts& w = work_at(static_cast<std::size_t>(macros.expansion.nesting));
  ResultText result(buffer);
  {
    NestingGuard level(macros.expansion.nesting);
    loop(result, w);
  }
  return {result.size(), result.backquote};
}

/// Below this size a text is scanned a character at a time: building its
/// masks costs more than scanning its few fields.
constexpr std::size_t kMaskedTextMin = 16;

/// Expands `source` by its class masks, built here (only an outermost
/// expansion comes here, so the masks are made once per text).
[[gnu::noinline]] Expanded expand_by_masks(std::string_view source, char* buffer, const Pass& pass) {
  ClassMasks m;
  m.build(source.data(), source.size(), visited_set(pass.prefix_mode));
  return expand_nesting(buffer, [&](ResultText& out, WorkTexts& w) { expand_masked(source, out, pass, w, m); });
}

/// Expands `source` into `buffer` as `pass` says.
Expanded expand(std::string_view source, char* buffer, const Pass& pass) {
  if (source.empty() || source.front() == '\n') return {};
  const bool masked_size = source.size() - kMaskedTextMin <= kMaskedTextMax - kMaskedTextMin;
  if (masks_enabled && pass.outermost && masked_size) return expand_by_masks(source, buffer, pass);
  return expand_nesting(buffer, [&](ResultText& out, WorkTexts& w) {
    expand_fields(source, out, pass, w);
  });
}

}  // namespace

Expanded expand_into(std::string_view source, char* buffer, bool prefix_mode, TextKind kind) {
  return expand(source, buffer, Pass{prefix_mode, kind, true});
}

void build_data_masks(std::string_view line, bool prefix_mode, ClassMasks& masks) {
  masks.build_padded(line.data(), line.size(), visited_set(prefix_mode));
}

Expanded expand_data_line(std::string_view line, const ClassMasks& masks, char* buffer, bool prefix_mode) {
  const Pass pass{prefix_mode, TextKind::Data, true};
  if (!masks_enabled) return expand(line, buffer, pass);
  if (line.empty()) return {};
  return expand_nesting(buffer, [&](ResultText& out, WorkTexts& w) {
    out.readable_end = line.data() + line.size() + kLineSlack;
    expand_masked(line, out, pass, w, masks);
  });
}

void use_class_masks(bool on) { masks_enabled = on; }

void reset_expansion() { macros.expansion = ExpansionState{}; }

Expanded expand_text(std::string_view source, std::string& out, bool prefix_mode, TextKind kind) {
  char buffer[kMaxText + kExpansionSlack];
  const Expanded result = expand_into(source, buffer, prefix_mode, kind);
  out.assign(buffer, result.size);
  return result;
}

void resolve_indirection(std::string& name) {
  std::string& expanded = resolved;
  // Every round expands a field that begins with "@" as an indirection
  // does, so the count runs over all rounds and a name leading back to
  // itself ends like a field of a data line does.
  macros.expansion.indirection_steps = 0;
  while (!name.empty() && name.front() == '@') {
    expand_nested(name, expanded, TextKind::Directive);
    name.swap(expanded);
  }
}

}  // namespace kup
