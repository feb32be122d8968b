#include "directives/directives.h"

namespace kup {

// TODO(files): the handlers.
void directive_include() {}
void directive_insert() {}
void directive_exit() {}

}  // namespace kup
