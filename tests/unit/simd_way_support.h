// Tests run once per way of classifying characters: the way is forced for
// the test and the best one put back after it; a way this machine or build
// lacks is skipped by name.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "macros/class_masks.h"

namespace kup {

/// Shows a way by its name in test names and messages.
inline void PrintTo(SimdWay way, std::ostream* os) { *os << simd_way_name(way); }

namespace test_support {

/// Forces `way` for a test; false, with the test skipped, when the
/// machine lacks it.
inline bool force_simd_way(SimdWay way) {
  if (!simd_way_available(way)) return false;
  use_simd_way(way);
  return true;
}

/// The suffix of a test run with one way: its name.
inline std::string simd_way_test_name(const testing::TestParamInfo<SimdWay>& info) {
  return std::string(simd_way_name(info.param));
}

}  // namespace test_support
}  // namespace kup

/// Skips the current test, naming the way, when the machine lacks it;
/// forces the way otherwise. For the SetUp of a test with a SimdWay.
#define KUP_FORCE_SIMD_WAY_OR_SKIP(way)                                                                \
  do {                                                                                                 \
    if (!::kup::test_support::force_simd_way(way))                                                     \
      GTEST_SKIP() << "this machine or build lacks the " << ::kup::simd_way_name(way) << " way";       \
  } while (0)
