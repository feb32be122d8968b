// The directives that talk to the user, end the run or show the state of
// the expander: #msg, #abort, #quit and #stop, the comments, #verbose,
// #macro, #tag and #status.
#include <string>
#include <string_view>

#include "directives/directives.h"
#include "driver/driver.h"
#include "expr/expr.h"
#include "input/input_stack.h"
#include "macros/macro_table.h"

namespace kup {

namespace {

/// Scratch texts of the handlers, kept to spare an allocation per line.
std::string expanded;
std::string message;
std::string evaluated;
std::string name_field;

const char* on_off(bool flag) { return flag ? "ON" : "OFF"; }

void clear_trace_texts() {
  line.trace_label.clear();
  line.trace_detail.clear();
}

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

/// Reads the next name field of the line and lists that macro.
void list_next_name() {
  line.line_rest = next_field(line.line_rest, name_field);
  resolve_indirection(name_field);
  list_macro(name_field);
}

/// Switches Verbose Mode on at once, so that the current line is traced.
void verbose_on_now() {
  modes.pending_verbose = true;
  modes.verbose = true;
}

}  // namespace

void message_text(std::string& out) {
  expand_text(line.line_rest, expanded, false);
  drop_char(expanded, out, '\'');
  drop_char_in_place(out, '`');
}

void print_status(std::string_view title) {
  std::string text = format("\n\tKUP Internal Status    %s\n\n", title);
  for (int i = 0; i <= inputs.file_level; ++i) append_level_status(text, i);
  text += format("\tOutput line     :\t%d\n\n", modes.output_line);
  for (const ModeLine& mode : kModeLines) text += format(mode.format, on_off(modes.*mode.flag));
  text += '\n';
  err_write(text);
}

void directive_msg() {
  message_text(message);
  err_write(format("%s\n", message));
  clear_trace_texts();
}

void directive_abort() {
  message_text(message);
  print_location(inputs.file_level);
  err_write(format("KUP user error - %s\n", message));
  terminate_run(1);
}

void directive_quit() {
  message_text(message);
  if (!message.empty()) err_write(format("%s\n", message));
  terminate_run(0);
}

void directive_comment() {
  if (modes.comment) {
    message_text(message);
    if (modes.verbose) err_write(format("\n%s ****  %s\n", line.trace_prefix, message));
    else err_write(format(" ****  %s\n", message));
  }
  clear_trace_texts();
}

void directive_verbose() {
  line.trace_label.assign("Verbose Mode");
  expand_text(line.line_rest, expanded, false);
  const bool toggle = expanded.empty();
  bool on;
  if (toggle) {
    on = !modes.verbose;
  } else {
    evaluate_to_text(expanded, evaluated, 0);
    on = text_is_true(evaluated);
  }
  // Switching off waits for the end of the line, so this line is traced.
  if (on) verbose_on_now();
  else modes.pending_verbose = false;
  if (toggle) line.trace_detail.assign(on ? "Toggled to  On" : "Toggled to Off");
  else line.trace_detail.assign(on ? "Set to  On" : "Set to Off");
  if (modes.verbose_forced) {
    verbose_on_now();
    line.trace_detail.assign("Forced by Command Line");
  }
}

void directive_macro() {
  line.line_rest = next_field(line.line_rest, name_field);
  resolve_indirection(name_field);
  err_write("\n");
  if (name_field.empty()) name_field.assign("$ALL$");
  list_macro(name_field);
  while (!line.line_rest.empty()) list_next_name();
  clear_trace_texts();
}

void directive_tag() {
  message_text(line.trace_detail);
  top_level().tag_name = line.trace_detail;
  remove_macro("$T");
  define_macro("$T", line.trace_detail);
  line.trace_label.assign("File tag name");
}

void directive_status() {
  message_text(message);
  print_status(message);
  clear_trace_texts();
}

}  // namespace kup
