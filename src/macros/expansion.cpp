#include "macros/expansion.h"

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
  std::size_t from = 0;
  for (std::size_t quote; (quote = value.find('\'', from)) != std::string_view::npos; from = quote + 1)
    out.append(value.substr(from, quote - from));
  out.append(value.substr(from));
}

/// Resolves a field that begins with "@" into the complete expansion of
/// the rest of it, as often as the result begins with "@" again.
void resolve_field(WorkTexts& w) {
  while (!w.field.empty() && w.field.front() == '@') {
    count_step(w.field);
    strip_lead(w.field, w.stripped, '@');
    expand_text(w.stripped, w.nested, false);
    w.field.swap(w.nested);
  }
}

/// Appends the replacement of one field.
void append_field(std::string& out, const std::string& field, bool prefix_mode) {
  const bool candidate = !prefix_mode || has_prefix(field);
  if (candidate) {
    if (const MacroEntry* entry = find_macro(field)) {
      append_unquoted(out, macro_value(entry));
      return;
    }
    if (prefix_mode) warn(format("KUP warning - macro <%s> is not defined\n", field));
  }
  out.append(field);
}

void expand_fields(std::string_view source, std::string& out, bool prefix_mode, WorkTexts& w) {
  std::string_view rest = next_field(source, w.field);
  std::string_view trail = trail_space;
  out.append(lead_space);
  for (;;) {
    if (depth == 1) indirection_steps = 0;
    resolve_field(w);
    append_field(out, w.field, prefix_mode);
    check_length(out);
    if (rest.empty() || rest.front() == '\n') break;
    out.append(trail);
    rest = next_field(rest, w.field);
    trail = trail_space;
  }
  if (!modes.directive_line) out.append(trail.substr(0, trail.find('\n')));
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
