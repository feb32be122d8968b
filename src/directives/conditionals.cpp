#include "directives/directives.h"
#include "driver/driver.h"

namespace kup {

ConditionalState cond;

void reset_conditional_state() { cond = ConditionalState{}; }

// TODO(conditionals): the handlers.
void directive_if() {}
void directive_ifdef() {}
void directive_ifndef() {}
void directive_else() {}
void directive_endif() {}
void directive_skip() {}

}  // namespace kup
