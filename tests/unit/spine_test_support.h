// Helpers of the macro store tests: a fresh run state per test, standard
// error caught in a temporary file, and the end of a run caught as a fault.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "driver/diagnostics.h"
#include "driver/driver.h"
#include "driver/output.h"
#include "err_capture.h"

namespace kup::spine_testing {

/// The location lines of a message while no input is open.
inline constexpr std::string_view kCommandLine = "\n[Command Line]\n";

using test_support::ErrCapture;

/// A test that starts from the state of a new run, as run_kup does.
class FreshRun : public ::testing::Test {
 protected:
  void SetUp() override { reset_run_state(); }
  void TearDown() override { reset_run_state(); }
};

using test_support::fault_text;

/// Runs `action`, which must end the run with status 1, and returns all it
/// wrote to standard error.
template <typename Action>
std::string fault_of(Action action) {
  return fault_text(action);
}

}  // namespace kup::spine_testing
