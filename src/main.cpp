// kup: a console macro expander for text.
#include "driver/driver.h"

int main(int argc, char** argv) { return kup::run_kup(argc, argv); }
