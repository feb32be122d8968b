// The text of an evaluated value.
#pragma once

#include <string>

namespace kup {

/// Writes `value` into `out` with a precision already within -9..9: "%.*f"
/// for p >= 0, "%.*e" with -p decimals for p < 0; "inf", "-inf" and an
/// unsigned "nan" for the values that are no numbers.
void value_to_text(double value, int precision, std::string& out);

}  // namespace kup
