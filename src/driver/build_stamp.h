// When the executable was built.
#pragma once

#include <string_view>

namespace kup {

/// When the executable was built: "Jul  6 2024" and "14:40:01".
std::string_view build_date();
std::string_view build_time();

}  // namespace kup
