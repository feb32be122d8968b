#include "macros/lists.h"

#include "driver/driver.h"
#include "macros/macro_table.h"

namespace kup {

std::string element_name(std::string_view name, long long k) {
  std::string element;
  element.reserve(name.size() + 8);
  element.append(name);
  element.push_back('[');
  element.append(int_to_text(k));
  element.push_back(']');
  return element;
}

namespace {

/// Appends the value of one element: its own composition if it is a list.
void append_element_value(const MacroEntry* element, std::string& out) {
  if (is_list(element)) {
    std::string nested;
    compose_list(element, nested);
    out.append(nested);
  } else {
    out.append(element->value);
  }
}

}  // namespace

void compose_list(const MacroEntry* list, std::string& out) {
  const std::string name = list->name;
  const MacroEntry* element = find_macro(element_name(name, 0));
  if (element == nullptr) return;
  append_element_value(element, out);
  for (long long k = 1;; ++k) {
    element = find_macro(element_name(name, k));
    if (element == nullptr) return;
    out.push_back(',');
    append_element_value(element, out);
    if (out.size() > kMaxText)
      fatal(format("KUP error - unable to build list definition, string too long (max = %d)\n",
                   kTextBufferSize));
  }
}

void directive_list() {
  // TODO(lists): the #list directive.
}

}  // namespace kup
