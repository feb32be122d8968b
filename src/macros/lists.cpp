// List macros: the element names and the composition of a list's value.
#include "macros/lists.h"

#include "driver/diagnostics.h"
#include "driver/driver.h"
#include "macros/macro_table.h"
#include "text/edits.h"

namespace kup {

namespace {

/// Writes the element name "name[k]" into `out`.
void write_element_name(std::string_view name, long long k, std::string& out) {
  out.assign(name);
  out.push_back('[');
  out.append(int_to_text(k));
  out.push_back(']');
}

/// The element k of a list, or nullptr.
const MacroEntry* find_element(const MacroEntry* list, long long k) {
  std::string& probe = macros.element_probe;
  write_element_name(list->name(), k, probe);
  return find_macro(probe);
}

[[noreturn]] void report_list_too_long() { fatal(string_too_long("unable to build list definition, ")); }

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

}  // namespace kup
