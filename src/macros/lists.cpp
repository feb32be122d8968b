// List macros: the element names, the composition of a list's value and
// the #list directive.
#include "macros/lists.h"

#include "driver/driver.h"
#include "macros/macro_table.h"

namespace kup {

namespace {

/// Writes the element name "name[k]" into `out`.
void write_element_name(std::string_view name, long long k, std::string& out) {
  out.assign(name);
  out.push_back('[');
  out.append(int_to_text(k));
  out.push_back(']');
}

/// The element k of a list, or nullptr. The name is built in one buffer
/// kept between calls, so composing a list allocates nothing once warm.
const MacroEntry* find_element(const MacroEntry* list, long long k) {
  static std::string probe;
  write_element_name(list->name, k, probe);
  return find_macro(probe);
}

[[noreturn]] void report_list_too_long() {
  fatal(format("KUP error - unable to build list definition, string too long (max = %d)\n",
               kTextBufferSize));
}

/// Appends the composed value of a list to `out`. An element that is a
/// list itself contributes its own composition at its place.
void append_composition(const MacroEntry* list, std::string& out) {
  for (long long k = 0;; ++k) {
    const MacroEntry* element = find_element(list, k);
    if (element == nullptr) return;
    if (k > 0) out.push_back(',');
    if (is_list(element)) append_composition(element, out);
    else out.append(element->value);
    if (out.size() > kMaxText) report_list_too_long();
  }
}

}  // namespace

std::string element_name(std::string_view name, long long k) {
  std::string element;
  write_element_name(name, k, element);
  return element;
}

void compose_list(const MacroEntry* list, std::string& out) { append_composition(list, out); }

namespace {

/// Scratch texts of #list, kept to spare an allocation per line.
std::string list_name;
std::string split_source;
std::string split_text;

/// The text #list splits: the stored value, or the composed value of a
/// list, which is split again after a warning.
void read_split_source(const MacroEntry* entry) {
  if (is_list(entry)) {
    warn(format("KUP warning - macro <%s> is already a list\n", list_name));
    split_source.clear();
    compose_list(entry, split_source);
  } else {
    split_source.assign(entry->value);
  }
}

/// Defines the elements of the list `list_name` from the commas of `text`;
/// one leading comma is skipped. Returns the number of elements.
long long define_elements(std::string_view text) {
  std::size_t from = !text.empty() && text.front() == ',' ? 1 : 0;
  for (long long k = 0;; ++k) {
    const std::size_t comma = text.find(',', from);
    const std::string element = element_name(list_name, k);
    define_macro(element, text.substr(from, comma == std::string_view::npos ? text.npos : comma - from));
    if (modes.verbose) list_macro(element);
    if (comma == std::string_view::npos) return k + 1;
    from = comma + 1;
  }
}

}  // namespace

/// #list: makes an existing macro a list of the comma-separated parts of
/// its expanded value.
void directive_list() {
  line.line_rest = next_field(line.line_rest, list_name);
  resolve_indirection(list_name);
  check_identifier(list_name, "macro");
  const MacroEntry* entry = find_macro(list_name);
  if (entry == nullptr)
    fatal(format("KUP error - try to break into elements an undefined macro <%s>\n", list_name));
  read_split_source(entry);
  expand_text(split_source, split_text, false);
  if (split_text.empty())
    fatal(format("KUP error - try to break into elements an empty macro <%s>\n", list_name));
  remove_macro(list_name);
  define_macro(list_name, kListMarker);
  if (modes.verbose) err_write("\n");
  const long long count = define_elements(split_text);
  line.trace_label.assign("list");
  line.trace_detail.assign(int_to_text(count));
}

}  // namespace kup
