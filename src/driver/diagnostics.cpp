#include "driver/diagnostics.h"

#include "driver/driver.h"
#include "driver/environment.h"
#include "driver/output.h"
#include "driver/text_format.h"
#include "input/input_stack.h"

namespace kup {

void print_location(int level) {
  if (level < 0) {
    print_command_line_location();
    return;
  }
  std::string text;
  for (int i = 0; i <= level; ++i) {
    const InputLevel& l = inputs.levels[i];
    if (l.line_count != 0) text += format("\nline[%d] \t[%s]", l.line_count, l.tag_name);
  }
  text += '\n';
  err_write(text);
}

void print_command_line_location() { err_write("\n[Command Line]\n"); }

void terminate_run(int status) {
  if (modes.line) out_put('\n');
  if (modes.verbose) err_write("\n");
  for (int i = inputs.file_level; i >= 0; --i) {
    InputLevel& level = inputs.levels[i];
    close_stream(level);
    if (modes.verbose)
      err_write(format("%s(FILE) -> exiting at line %4d of '%s'\n", line.trace_prefix,
                       level.line_count, level.tag_name));
  }
  if (modes.verbose)
    err_write(status == 0 ? "\n            *** CALL FOR EXIT, KUP NORMAL TERMINATION ***\n\n"
                          : "\n            *** CALL FOR EXIT, KUP ABNORMAL TERMINATION ***\n\n");
  throw RunEnd{status};
}

void fatal(std::string_view message) {
  print_location(inputs.file_level);
  err_write(message);
  terminate_run(1);
}

void fatal_command_line(std::string_view message) {
  print_command_line_location();
  err_write(message);
  terminate_run(1);
}

void warn(std::string_view message) {
  if (!modes.warning) return;
  print_location(inputs.file_level);
  err_write(message);
  count_warning();
}

std::string string_too_long(std::string_view lead, std::string_view tail) {
  return format("KUP error - %sstring too long%s (max = %d)\n", lead, tail, kTextBufferSize);
}

void report_missing_file_name() { fatal("KUP error - file name is missing\n"); }

}  // namespace kup
