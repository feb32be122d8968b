#include "directives/directives.h"

namespace kup {

// TODO(typed): the handler.
void directive_typed(char) {}

}  // namespace kup
