// Helpers of the macro store tests: a fresh run state per test, with
// standard error and the end of a run caught by err_capture.h.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "driver/driver.h"
#include "err_capture.h"

namespace kup::test_support {

/// A test that starts from the state of a new run, as run_kup does.
class FreshRun : public ::testing::Test {
 protected:
  void SetUp() override { reset_run_state(); }
  void TearDown() override { reset_run_state(); }
};

}  // namespace kup::test_support
