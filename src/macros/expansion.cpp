#include "macros/expansion.h"

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

void check_length(const std::string& out) {
  if (out.size() > kMaxText) fatal(format("KUP error - string too long (max = %d)\n", kTextBufferSize));
}

/// Appends `value` leaving out its single quotes.
void append_unquoted(std::string& out, std::string_view value) {
  const char* p = value.data();
  const char* const end = p + value.size();
  while (const void* quote = std::memchr(p, '\'', static_cast<std::size_t>(end - p))) {
    const char* q = static_cast<const char*>(quote);
    out.append(p, static_cast<std::size_t>(q - p));
    p = q + 1;
  }
  out.append(p, static_cast<std::size_t>(end - p));
}

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

/// Appends the replacement of a field resolved from an indirection.
void append_resolved(std::string& out, std::string_view field, bool prefix_mode) {
  if (const MacroEntry* entry = replacement_of(field, prefix_mode)) append_unquoted(out, macro_value(entry));
  else out.append(field);
}

void expand_fields(std::string_view source, std::string& out, bool prefix_mode, WorkTexts& w) {
  // Fields are views of the source. The source between replaced fields,
  // white space included, is copied in one piece when the next replacement
  // (or the end) is reached: `kept` is where that uncopied text begins.
  const char* const end = source.data() + source.size();
  const char* kept = source.data();
  FieldBounds b = scan_bounds(kept, end);
  for (;;) {
    std::string_view field(b.start, static_cast<std::size_t>(b.stop - b.start));
    const bool indirect = !field.empty() && field.front() == '@';
    const MacroEntry* entry = indirect ? nullptr : replacement_of(field, prefix_mode);
    if (indirect || entry != nullptr) {
      out.append(kept, static_cast<std::size_t>(b.start - kept));
      kept = b.stop;
      if (indirect) {
        if (depth == 1) indirection_steps = 0;
        append_resolved(out, resolve_field(field, w), prefix_mode);
      } else if (!entry->list && !entry->quoted) {
        out.append(entry->value);
      } else {
        append_unquoted(out, macro_value(entry));
      }
      check_length(out);
    }
    if (b.after == end || *b.after == '\n') break;
    b = scan_bounds(b.after, end);
  }
  // Up to the end of the last field; then its trailing white space, up to
  // a newline, on a data line only.
  if (b.stop > kept) out.append(kept, static_cast<std::size_t>(b.stop - kept));
  if (!modes.directive_line) {
    const std::string_view trail(b.stop, static_cast<std::size_t>(b.after - b.stop));
    out.append(trail.substr(0, trail.find('\n')));
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
  if (source.empty() || source.front() == '\n') return;
  while (work.size() <= static_cast<std::size_t>(depth)) work.emplace_back();
  ++depth;
  try {
    expand_fields(source, out, prefix_mode, work[static_cast<std::size_t>(depth - 1)]);
  } catch (...) {
    --depth;
    throw;
  }
  --depth;
  check_length(out);
}

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
