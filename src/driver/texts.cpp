#include "driver/driver.h"

namespace kup {

// TODO(texts): the informational texts.
void print_usage() {}
void print_help() {}
void print_build() {}
void print_run_report() {}

}  // namespace kup
