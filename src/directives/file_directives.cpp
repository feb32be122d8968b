// The directives that change the input stack while lines are read:
// #include (process another file first), #insert (copy a file to standard
// output unprocessed) and #exit (leave the current file early).
#include "directives/directives.h"
#include "directives/handler_support.h"
#include "driver/diagnostics.h"
#include "driver/driver.h"
#include "driver/echo_file.h"
#include "driver/line_markers.h"
#include "driver/output.h"
#include "driver/text_format.h"
#include "input/input_stack.h"
#include "macros/expansion.h"
#include "text/edits.h"

namespace kup {

namespace {

/// The path named by an #include or #insert line: the rest of the line
/// expanded, without single quotes and without blanks. The trace shows the
/// path without its quotes, then without its blanks.
std::string_view file_name_argument() {
  std::string& expanded = handler_texts.expanded;
  std::string& unquoted = handler_texts.field;
  std::string& path = handler_texts.value;
  expand_text(line.line_rest, expanded, false, TextKind::Directive);
  drop_char(expanded, unquoted, '\'');
  drop_char(unquoted, path, ' ');
  set_trace(unquoted, path);
  return path;
}

/// The marker before a piece copied by #insert; a piece without a newline
/// leaves the output in the middle of a line.
void mark_inserted_piece(InputLevel& level, std::string_view piece) {
  const bool whole = piece.back() == '\n';
  mark_output_line(level.file_name, line_in_file(level, whole));
  markers.mid_line = !whole;
}

/// Copies every piece of `level` to standard output exactly as read,
/// counting each read attempt (the last, empty one too) as a line of the
/// level. Output line grows by one less than the number of pieces.
void copy_level_to_output(InputLevel& level) {
  std::string_view piece;
  for (;;) {
    const bool got = read_level_piece(level, piece);
    ++level.line_count;
    if (!got) break;
    if (markers.on) mark_inserted_piece(level, piece);
    out_write(piece);
    if (modes.verbose)
      err_write(format("%s(%4d) <-  %s", line.trace_prefix, modes.output_line + 1, piece));
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
  std::string& message = handler_texts.message;
  message_text(message);
  if (!message.empty()) err_write(format("%s\n", message));
  set_trace({}, {});
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
