// The handlers of the conditional, definition, typed-evaluation, message,
// termination and debug directives. Each reads its arguments from
// line.line_rest and sets its trace texts with set_trace.
#pragma once

#include <string>
#include <string_view>

#include "macros/expansion.h"

namespace kup {

/// The state of conditional blocks. Evaluation Mode, Skip Mode and the
/// pending Skip Mode live with the other mode flags.
struct ConditionalState {
  int cond_depth = 0;  ///< open conditional blocks
  int off_level = 0;   ///< depth of the block that switched evaluation off
  bool else_seen = false;
};

extern ConditionalState cond;

/// The working texts of the directive handlers. A handler uses them for the
/// line it handles only, under names of its own, and sets its trace texts
/// once at its end; they are kept here, a cache of their capacity, so that
/// a warm run allocates nothing. message_text uses `expanded`, and
/// read_switch `expanded` and `evaluated`.
struct HandlerTexts {
  std::string name;
  std::string field;
  std::string value;
  std::string current;
  std::string piece;
  std::string expanded;
  std::string evaluated;
  std::string message;
  /// A piece of the file #insert copies.
  std::string copied;
};

extern HandlerTexts handler_texts;

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

/// The rest of the line expanded, without single quotes and backquotes.
void message_text(std::string& out);

/// Writes the status block with a title to standard error.
void print_status(std::string_view title);

/// What the argument of #skip or #verbose does to a mode that is now
/// `current`: with none the mode is toggled, otherwise the argument is
/// evaluated and the mode set to its truth. `detail` is the trace text.
struct Switch {
  bool on;
  std::string_view detail;
};
Switch read_switch(bool current);

// Files.
void directive_include();
void directive_insert();
void directive_exit();

/// Puts the conditional state back to its start.
void reset_conditional_state();

}  // namespace kup
