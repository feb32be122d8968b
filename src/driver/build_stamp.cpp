// The date and time of the build of kup. CMake copies this file into the
// build tree whenever the rest of kup changes, so that the copy linked into
// kup is compiled anew exactly when kup is relinked; the executables of the
// tests link it as it is. The compiler takes SOURCE_DATE_EPOCH, when set,
// for __DATE__ and __TIME__, which makes a reproducible build reproduce them.
#include "driver/build_stamp.h"

namespace kup {

std::string_view build_date() { return __DATE__; }
std::string_view build_time() { return __TIME__; }

}  // namespace kup
