// List macros: elements named name[k], composed back with commas.
#pragma once

#include <string>
#include <string_view>

namespace kup {

struct MacroEntry;

/// The element name "name[k]".
std::string element_name(std::string_view name, long long k);

/// Appends the composed value of a list to `out`, which must be empty.
void compose_list(const MacroEntry* list, std::string& out);

}  // namespace kup
