// The directives that change the input stack while lines are read:
// #include (process another file first), #insert (copy a file to standard
// output unprocessed) and #exit (leave the current file early).
#include "directives/directives.h"
#include "driver/driver.h"
#include "input/input_stack.h"
#include "macros/field_scanner.h"

namespace kup {

namespace {

/// The path named by an #include or #insert line: the rest of the line
/// expanded, without single quotes and without blanks. Both intermediate
/// texts stay in the trace buffers, so the trace shows the path with and
/// without its blanks; the result views trace_detail.
std::string_view file_name_argument() {
  expand_text(line.line_rest, line.trace_detail, false);
  drop_char(line.trace_detail, line.trace_label, '\'');
  drop_char(line.trace_label, line.trace_detail, ' ');
  return line.trace_detail;
}

/// The trace line that says which line of the top level is read next.
void trace_processing() {
  const InputLevel& top = top_level();
  err_write(format("%s(FILE) -> processing line %4d of '%s'\n", line.trace_prefix, top.line_count,
                   top.tag_name));
}

/// Copies every piece of `level` to standard output exactly as read,
/// counting each read attempt (the last, empty one too) as a line of the
/// level. Output line grows by one less than the number of pieces.
void copy_level_to_output(InputLevel& level) {
  for (;;) {
    const bool got = read_level_piece(level, line.output_text);
    ++level.line_count;
    if (!got) break;
    out_write(line.output_text);
    if (modes.verbose)
      err_write(format("%s(%4d) <-  %s", line.trace_prefix, modes.output_line + 1, line.output_text));
    ++modes.output_line;
  }
  --modes.output_line;
}

}  // namespace

void directive_include() {
  open_input(file_name_argument(), cond.cond_depth);
  if (modes.verbose) {
    err_write("\n");
    trace_processing();
  }
  // An include line read from standard input is copied here, and so not
  // again by the loop.
  if (modes.echo && line.echo_due) {
    write_echo_line(line.line_text);
    line.echo_due = false;
  }
  renew_file_macros();
}

void directive_insert() {
  open_input(file_name_argument(), 0);
  InputLevel& copied = top_level();
  if (modes.verbose)
    err_write(format("\n%s(FILE) -> copying    line %4d of '%s'\n\n", line.trace_prefix, copied.line_count,
                     copied.tag_name));
  copy_level_to_output(copied);
  close_input(0);
}

void directive_exit() {
  message_text(line.trace_label);
  if (!line.trace_label.empty()) err_write(format("%s\n", line.trace_label));
  line.trace_label.clear();
  line.trace_detail.clear();
  if (inputs.file_level == 0) terminate_run(0);
  // Blocks opened in the file being left are discarded with it; an #else
  // of that file must not count against the enclosing file's block.
  cond.cond_depth = top_level().cond_depth_at_open;
  cond.else_seen = false;
  close_input(cond.cond_depth);
  if (modes.verbose) trace_processing();
  renew_file_macros();
}

}  // namespace kup
