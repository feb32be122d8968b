// The directives that talk to the user, end the run or show the state of
// the expander: #msg, #abort, #quit and #stop, the comments, #verbose,
// #macro, #tag and #status.
#include <string>
#include <string_view>

#include "directives/directives.h"
#include "directives/handler_support.h"
#include "driver/diagnostics.h"
#include "driver/driver.h"
#include "driver/output.h"
#include "driver/text_format.h"
#include "input/input_stack.h"
#include "macros/expansion.h"
#include "macros/field_scanner.h"
#include "macros/macro_table.h"
#include "text/edits.h"

namespace kup {

namespace {

const char* on_off(bool flag) { return flag ? "ON" : "OFF"; }

/// The trace of a directive that shows nothing for its line.
void clear_trace_texts() { set_trace({}, {}); }

/// One line of the mode list of the status block.
struct ModeLine {
  std::string_view format;
  const bool ModeFlags::*flag;
};

/// The modes in the order the status block shows them.
constexpr ModeLine kModeLines[] = {
    {"\tEvaluation Mode :\t%s\n", &ModeFlags::evaluation},
    {"\tSkip Mode       :\t%s\n", &ModeFlags::skip},
    {"\tPrefix Mode     :\t%s\n", &ModeFlags::prefix},
    {"\tVerbose Mode    :\t%s\n", &ModeFlags::verbose},
    {"\tLine Mode       :\t%s\n", &ModeFlags::line},
    {"\tEcho Mode       :\t%s\n", &ModeFlags::echo},
    {"\tComment Mode    :\t%s\n", &ModeFlags::comment},
    {"\tWarning Mode    :\t%s\n", &ModeFlags::warning},
};

/// The four lines that describe one input level in the status block.
void append_level_status(std::string& text, int index) {
  const InputLevel& level = inputs.levels[index];
  text += format("\tFile Name       :\t'%s'\n", level.file_name);
  text += format("\tFile Tag Name   :\t'%s'\n", level.tag_name);
  text += format("\tFile Level      :\t%d\n", index);
  text += format("\tCurrent Line    :\t%d\n\n", level.line_count);
}

/// Reads the next name field of the line into `name` and lists that macro;
/// "$ALL$" lists them all.
void list_next_name(std::string& name) {
  line.line_rest = next_field(line.line_rest, name);
  resolve_indirection(name);
  list_macro(name);
}

/// Switches Verbose Mode on at once, so that the current line is traced.
void verbose_on_now() {
  modes.pending_verbose = true;
  modes.verbose = true;
}

/// Writes the status block with a title to standard error.
void print_status(std::string_view title) {
  std::string text = format("\n\tKUP Internal Status    %s\n\n", title);
  for (int i = 0; i <= inputs.file_level; ++i) append_level_status(text, i);
  text += format("\tOutput line     :\t%d\n\n", modes.output_line);
  for (const ModeLine& mode : kModeLines) text += format(mode.format, on_off(modes.*mode.flag));
  text += '\n';
  err_write(text);
}

}  // namespace

void message_text(std::string& out) {
  std::string& expanded = handler_texts.expanded;
  expand_text(line.line_rest, expanded, false, TextKind::Directive);
  drop_char(expanded, out, '\'');
  drop_char_in_place(out, '`');
}

void directive_msg() {
  std::string& message = handler_texts.message;
  message_text(message);
  err_write(format("%s\n", message));
  clear_trace_texts();
}

void directive_abort() {
  std::string& message = handler_texts.message;
  message_text(message);
  fatal(format("KUP user error - %s\n", message));
}

void directive_quit() {
  std::string& message = handler_texts.message;
  message_text(message);
  if (!message.empty()) err_write(format("%s\n", message));
  terminate_run(0);
}

void directive_comment() {
  if (modes.comment) {
    std::string& message = handler_texts.message;
    message_text(message);
    if (modes.verbose) err_write(format("\n%s ****  %s\n", line.trace_prefix, message));
    else err_write(format(" ****  %s\n", message));
  }
  clear_trace_texts();
}

void directive_verbose() {
  const Switch verbose = read_switch(modes.verbose);
  // Switching off waits for the end of the line, so this line is traced.
  if (verbose.on || modes.verbose_forced) verbose_on_now();
  else modes.pending_verbose = false;
  set_trace("Verbose Mode", modes.verbose_forced ? "Forced by Command Line" : verbose.detail);
}

void directive_macro() {
  std::string& name = handler_texts.name;
  line.line_rest = next_field(line.line_rest, name);
  resolve_indirection(name);
  err_write("\n");
  if (name.empty()) name.assign("$ALL$");
  list_macro(name);
  while (!line.line_rest.empty()) list_next_name(name);
  clear_trace_texts();
}

void directive_tag() {
  std::string& tag = handler_texts.message;
  message_text(tag);
  top_level().tag_name = tag;
  remove_macro("$T");
  define_macro("$T", tag);
  set_trace("File tag name", tag);
}

void directive_status() {
  std::string& title = handler_texts.message;
  message_text(title);
  print_status(title);
  clear_trace_texts();
}

}  // namespace kup
