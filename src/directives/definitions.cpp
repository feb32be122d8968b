#include "directives/directives.h"
#include "driver/driver.h"
#include "macros/macro_table.h"

namespace kup {

// TODO(definitions): the handlers.
void directive_define() {}
void directive_default() {}
void directive_undef() {}
void directive_cat() {}
void directive_freeze() {}
void directive_melt() {}
void directive_ask() {}

}  // namespace kup
