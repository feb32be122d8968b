// The directives' state and handlers: the conditional state and a handler
// for every directive. Each handler reads its arguments from
// line.line_rest and sets its trace texts with set_trace.
#pragma once

namespace kup {

/// The state of conditional blocks. Evaluation Mode, Skip Mode and the
/// pending Skip Mode live with the other mode flags.
struct ConditionalState {
  int cond_depth = 0;  ///< open conditional blocks
  int off_level = 0;   ///< depth of the block that switched evaluation off
  bool else_seen = false;
};

extern ConditionalState cond;

// Conditional blocks.
void directive_if();
void directive_ifdef();
void directive_ifndef();
void directive_else();
void directive_endif();
void directive_skip();

// Definitions.
void directive_define();
void directive_default();
void directive_undef();
void directive_cat();
void directive_freeze();
void directive_melt();
void directive_ask();

// Typed evaluation: letter is 'i', 'r' or 'f'.
void directive_typed(char letter);

/// The precision a number form gets without a digits field, as #int,
/// #real and #fix and the options -i, -r and -f use it.
int default_precision(char letter);

// Lists.
void directive_list();

// Messages, termination and debugging.
void directive_msg();
void directive_abort();
void directive_quit();
void directive_comment();
void directive_verbose();
void directive_macro();
void directive_tag();
void directive_status();

// Files.
void directive_include();
void directive_insert();
void directive_exit();

/// Puts the conditional state back to its start.
void reset_conditional_state();

}  // namespace kup
