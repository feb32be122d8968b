// kup: a console macro expander for text.
#include "driver/driver.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  kup::use_binary_standard_streams();
  return kup::run_kup(argc, argv);
}
