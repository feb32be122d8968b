// Shared set-up of the micro benchmarks: a clean run state with output
// thrown away, and the generated macro names and data lines.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "driver/driver.h"
#include "driver/output.h"
#include "macros/macro_table.h"

namespace kup::bench {

/// Puts kup into its start-up state with standard output and standard
/// error going to /dev/null.
inline void fresh_state() {
  static const int null_fd = ::open("/dev/null", O_WRONLY);
  reset_run_state();
  set_output_fds(null_fd, null_fd);
}

/// "m" and three letters for 0 <= i < 26^3: the names the benchmark uses.
inline std::string macro_name(int i) {
  std::string name = "m";
  name += static_cast<char>('a' + i / (26 * 26));
  name += static_cast<char>('a' + i / 26 % 26);
  name += static_cast<char>('a' + i % 26);
  return name;
}

/// Defines macros 0 .. count-1, each holding a short word.
inline void define_macros(int count) {
  for (int i = 0; i < count; ++i) {
    const std::string name = macro_name(i);
    std::string value = "w";
    value.append(name, 1).push_back('z');
    define_macro(name, value);
  }
}

/// A data line of ten words, three of which name macros below `count`.
inline std::string data_line(int count) {
  std::string text = "alpha ";
  text.append(macro_name(count / 3)).append(" bravo charlie ");
  text.append(macro_name(count - 1)).append(" delta echo foxtrot ");
  text.append(macro_name(0)).append(" golf");
  return text;
}

}  // namespace kup::bench
