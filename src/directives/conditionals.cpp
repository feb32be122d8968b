// Conditional blocks (#if, #ifdef, #ifndef, #else, #endif) and Skip Mode
// (#skip). There is no stack of saved states: the count of open blocks and
// the depth of the block that switched evaluation off are enough, since a
// block opened inside a false branch never switches evaluation back on.
#include <string>
#include <string_view>

#include "directives/directives.h"
#include "directives/handler_support.h"
#include "driver/diagnostics.h"
#include "driver/driver.h"
#include "expr/expr.h"
#include "macros/expansion.h"
#include "macros/field_scanner.h"
#include "macros/macro_table.h"
#include "text/edits.h"

namespace kup {

ConditionalState cond;
HandlerTexts handler_texts;

void reset_conditional_state() { cond = ConditionalState{}; }

namespace {

/// Switches Evaluation Mode off on behalf of the innermost open block.
void switch_evaluation_off() {
  modes.evaluation = false;
  cond.off_level = cond.cond_depth;
}

void switch_evaluation_on() {
  modes.evaluation = true;
  cond.off_level = 0;
}

/// Opens one more block: every opening directive starts this way, whether
/// or not its condition is looked at.
void open_block() {
  cond.else_seen = false;
  ++cond.cond_depth;
}

/// The trace texts of a conditional directive: a label and the depth.
void set_block_trace(std::string_view label, int depth) { set_trace(label, int_to_text(depth)); }

/// Evaluates `expression` as a whole number; returns whether it is non-zero.
bool evaluated_truth(std::string_view expression) {
  std::string& value = handler_texts.evaluated;
  evaluate_to_text(expression, value, 0);
  return text_is_true(value);
}

/// The test of #ifdef: the named macro exists and, when a value follows
/// the name, holds exactly that value.
bool defined_as_given() {
  std::string& name = handler_texts.name;
  line.line_rest = next_field(line.line_rest, name);
  resolve_indirection(name);
  check_identifier(name, "macro");
  const MacroEntry* entry = find_macro(name);
  if (entry == nullptr) return false;
  const std::string_view value = macro_value(entry, handler_texts.current);
  std::string& wanted = handler_texts.expanded;
  expand_text(line.line_rest, wanted, false, TextKind::Directive);
  return wanted.empty() || wanted == value;
}

/// Shared body of #ifdef and #ifndef: `wanted` is the outcome of the
/// definition test that keeps evaluation on.
void open_definition_block(bool wanted) {
  open_block();
  if (modes.evaluation && defined_as_given() != wanted) switch_evaluation_off();
  set_block_trace("begin of if block #", cond.cond_depth);
}

}  // namespace

void directive_if() {
  open_block();
  if (modes.evaluation) {
    std::string& expression = handler_texts.expanded;
    expand_text(line.line_rest, expression, false, TextKind::Directive);
    if (expression.empty()) fatal("KUP error - empty value cannot be evaluated\n");
    if (!evaluated_truth(expression)) switch_evaluation_off();
  }
  set_block_trace("begin of if block #", cond.cond_depth);
}

void directive_ifdef() { open_definition_block(true); }

void directive_ifndef() { open_definition_block(false); }

void directive_else() {
  if (cond.else_seen) fatal("KUP error - waiting for if or endif\n");
  cond.else_seen = true;
  if (cond.cond_depth == 0) fatal("KUP error - if type directive is missing\n");
  if (modes.evaluation) switch_evaluation_off();
  else if (cond.off_level == cond.cond_depth) switch_evaluation_on();
  set_block_trace("begin of else block #", cond.cond_depth);
}

void directive_endif() {
  cond.else_seen = false;
  const int closed = cond.cond_depth;
  if (closed == 0) fatal("KUP error - too many endif\n");
  --cond.cond_depth;
  if (cond.off_level > cond.cond_depth) switch_evaluation_on();
  set_block_trace("end of if block #", closed);
  // The #endif line is traced already at the depth it returns to.
  build_trace_prefix(cond.cond_depth);
}

void directive_skip() {
  const Switch skip = read_switch(modes.skip);
  if (skip.on) {
    // Switching on takes effect from the next line.
    modes.pending_skip = true;
  } else {
    modes.pending_skip = false;
    modes.skip = false;
  }
  set_trace("Skip Mode", skip.detail);
}

Switch read_switch(bool current) {
  std::string& argument = handler_texts.expanded;
  expand_text(line.line_rest, argument, false, TextKind::Directive);
  if (argument.empty()) return {!current, current ? "Toggled to Off" : "Toggled to  On"};
  const bool on = evaluated_truth(argument);
  return {on, on ? "Set to  On" : "Set to Off"};
}

}  // namespace kup
