// Drives the expression evaluator with arbitrary expression texts at every
// precision form, and holds the single pass of plain expressions to the
// code of the full parser on every text it takes.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/diagnostics.h"
#include "driver/driver.h"
#include "driver/output.h"
#include "expr/evaluator_state.h"
#include "expr/expr.h"
#include "expr/parser.h"

namespace {

int null_fd = -1;

/// The code and constants of the evaluator, kept to compare.
kup::CodeList plain_codes;
kup::ConstantPool plain_constants;

bool same_code(const kup::CodeList& a, const kup::CodeList& b) {
  return a.count == b.count && std::memcmp(a.codes, b.codes, a.count * sizeof a.codes[0]) == 0;
}

bool same_constants(const kup::ConstantPool& a, const kup::ConstantPool& b) {
  return a.count == b.count && std::memcmp(a.values, b.values, a.count * sizeof a.values[0]) == 0;
}

/// Where the single pass takes `text`, the full parser must write the same
/// code and constants; anything else is a finding.
void compare_plain_with_full_parser(const std::string& text) {
  try {
    kup::check_parentheses(text);
  } catch (const kup::RunEnd&) {
    return;  // neither compiles it
  }
  if (!kup::compile_plain(text)) return;
  plain_codes = kup::evaluator.code_list;
  plain_constants = kup::evaluator.constant_pool;
  kup::reset_evaluator();
  try {
    kup::compile_span({text.data(), text.data() + text.size()});
  } catch (const kup::RunEnd&) {
    std::abort();  // the full parser refuses a text the single pass took
  }
  if (!same_code(plain_codes, kup::evaluator.code_list) || !same_constants(plain_constants, kup::evaluator.constant_pool))
    std::abort();
}

}  // namespace

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
  compare_plain_with_full_parser(text);
  std::string out;
  try {
    kup::evaluate_to_text(text, out, precision);
    (void)kup::text_is_true(out);
  } catch (const kup::RunEnd&) {
  }
  return 0;
}
