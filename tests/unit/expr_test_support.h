// Helpers of the expression evaluator tests: evaluate a text, run it to a
// double, or catch the end of the run and the text it wrote to standard error.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <string>
#include <string_view>

#include "driver/diagnostics.h"
#include "err_capture.h"
#include "expr/interpreter.h"
#include "expr/parser.h"

namespace kup::test_support {

/// Compiles `text` afresh, as evaluate_to_text does, leaving the code in
/// the evaluator.
inline void compile_text(std::string_view text) { compile_expression(text); }

/// The value of an expression as a double; a NaN and a test failure that
/// shows the message when the run ends instead.
inline double value_of(std::string_view text) {
  ErrCapture err;
  try {
    compile_text(text);
    return run_code();
  } catch (const RunEnd&) {
    ADD_FAILURE() << "<" << text << "> ended the run:" << err.text();
    return std::numeric_limits<double>::quiet_NaN();
  }
}

/// Runs `action`, which must end the run with status 1, and returns what it
/// wrote to standard error after the location lines.
template <typename Action>
std::string fault_message(Action action) {
  const std::string text = fault_text(action);
  EXPECT_EQ(text.substr(0, kCommandLine.size()), kCommandLine);
  return text.substr(std::min(text.size(), kCommandLine.size()));
}

/// The fault message of evaluating `text`.
inline std::string fault_message_of(std::string_view text) {
  return fault_message([text] {
    compile_text(text);
    run_code();
  });
}

}  // namespace kup::test_support
