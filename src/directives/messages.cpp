#include "directives/directives.h"
#include "driver/driver.h"

namespace kup {

// TODO(messages): the handlers.
void directive_msg() {}
void directive_abort() {}
void directive_quit() { terminate_run(0); }
void directive_comment() {}
void directive_verbose() {}
void directive_macro() {}
void directive_tag() {}
void directive_status() {}
void message_text(std::string& out) { out.clear(); }
void print_status(std::string_view) {}

}  // namespace kup
