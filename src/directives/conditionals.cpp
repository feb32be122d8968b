// Conditional blocks (#if, #ifdef, #ifndef, #else, #endif) and Skip Mode
// (#skip). There is no stack of saved states: the count of open blocks and
// the depth of the block that switched evaluation off are enough, since a
// block opened inside a false branch never switches evaluation back on.
#include <string>
#include <string_view>

#include "directives/directives.h"
#include "driver/driver.h"
#include "expr/expr.h"
#include "macros/macro_table.h"

namespace kup {

ConditionalState cond;

void reset_conditional_state() { cond = ConditionalState{}; }

namespace {

/// Scratch texts of the handlers, kept to spare an allocation per line.
std::string expanded;
std::string evaluated;
std::string name_field;
std::string current_value;

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
void set_block_trace(std::string_view label, int depth) {
  line.trace_label.assign(label);
  line.trace_detail = int_to_text(depth);
}

/// Expands the rest of the line and evaluates it as a whole number;
/// returns whether the value is non-zero. `expanded` must not be empty.
bool evaluated_truth() {
  evaluate_to_text(expanded, evaluated, 0);
  return text_is_true(evaluated);
}

/// The test of #ifdef: the named macro exists and, when a value follows
/// the name, holds exactly that value.
bool defined_as_given() {
  line.line_rest = next_field(line.line_rest, name_field);
  resolve_indirection(name_field);
  check_identifier(name_field, "macro");
  const MacroEntry* entry = find_macro(name_field);
  if (entry == nullptr) return false;
  const std::string_view value = macro_value(entry, current_value);
  expand_text(line.line_rest, expanded, false);
  return expanded.empty() || expanded == value;
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
    expand_text(line.line_rest, expanded, false);
    if (expanded.empty()) fatal("KUP error - empty value cannot be evaluated\n");
    if (!evaluated_truth()) switch_evaluation_off();
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
  line.trace_label.assign("Skip Mode");
  expand_text(line.line_rest, expanded, false);
  const bool toggle = expanded.empty();
  const bool on = toggle ? !modes.skip : evaluated_truth();
  if (on) {
    // Switching on takes effect from the next line.
    modes.pending_skip = true;
  } else {
    modes.pending_skip = false;
    modes.skip = false;
  }
  if (toggle) line.trace_detail.assign(on ? "Toggled to  On" : "Toggled to Off");
  else line.trace_detail.assign(on ? "Set to  On" : "Set to Off");
}

}  // namespace kup
