// Drives the expression evaluator with arbitrary expression texts at every
// precision form.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "driver/diagnostics.h"
#include "driver/driver.h"
#include "driver/output.h"
#include "expr/expr.h"

namespace {
int null_fd = -1;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  null_fd = open("/dev/null", O_RDWR | O_CLOEXEC);
  kup::set_output_fds(null_fd, null_fd);
  kup::reset_run_state();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the precision; the rest, cut to the longest text,
  // is the expression.
  const int precision = static_cast<int>(static_cast<int8_t>(data[0])) % 12;
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  if (text.size() > kup::kMaxText) text.resize(kup::kMaxText);
  std::string out;
  try {
    kup::evaluate_to_text(text, out, precision);
    (void)kup::text_is_true(out);
  } catch (const kup::RunEnd&) {
  }
  return 0;
}
