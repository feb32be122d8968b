// The expression code interpreter: every operation, its domain faults, NaN
// and infinite operands, and code that no parser writes.
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "expr_test_support.h"

#include "expr/evaluator_state.h"
#include "expr/expr.h"
#include "expr/interpreter.h"

namespace kup {
namespace {

using test_support::fault_message;
using test_support::fault_message_of;
using test_support::kCommandLine;
using test_support::value_of;

/// An expression whose value is a NaN.
const std::string kNan = "(exp 1000 - exp 1000)";

struct ValueCase {
  std::string text;
  double value;
};

TEST(ExprInterpreter, Arithmetic) {
  const ValueCase cases[] = {
      {"7 % 3", 1},        {"-7 % 3", -1},      {"7 % -3", 1},         {"7.5 % 2", 1.5},
      {"0 ^ 0", 1},        {"0 ^ -1", HUGE_VAL}, {"-0 ^ 2", 0},        {"2 ^ 0.5", std::sqrt(2.0)},
      {"1 / 4", 0.25},     {"5 - 7", -2},       {"exp 1000", HUGE_VAL}, {"1 / exp 1000", 0},
  };
  for (const ValueCase& c : cases) EXPECT_EQ(value_of(c.text), c.value) << c.text;
}

TEST(ExprInterpreter, Functions) {
  const ValueCase cases[] = {
      {"sin 1", std::sin(1.0)},       {"cos 1", std::cos(1.0)},     {"tan 1", std::tan(1.0)},
      {"asin 1", std::numbers::pi / 2}, {"acos -1", std::numbers::pi}, {"atan 1", std::atan(1.0)},
      {"sinh 1", std::sinh(1.0)},     {"cosh 1", std::cosh(1.0)},   {"tanh 1", std::tanh(1.0)},
      {"log 2", std::log(2.0)},       {"exp 2", std::exp(2.0)},     {"abs -3", 3},
      {"log10 10", 1.0000000000000004}, {"log10 1000", 3.000000000000001},
      {"ceil log10 1000", 4},         {"floor log10 0.001", -4},    {"floor -2.5", -3},
      {"ceil 2.1", 3},                {"floor 1e300", 1e300},       {"sign -3", -1},
      {"sign 0", 0},                  {"sign 0.1", 1},              {"sign " + kNan, 0},
  };
  for (const ValueCase& c : cases) EXPECT_EQ(value_of(c.text), c.value) << c.text;
}

TEST(ExprInterpreter, SignedZeros) {
  EXPECT_TRUE(std::signbit(value_of("-0")));
  EXPECT_TRUE(std::signbit(value_of("ceil -0.5")));
  EXPECT_TRUE(std::signbit(value_of("floor -0")));
  EXPECT_FALSE(std::signbit(value_of("abs -0")));
  EXPECT_FALSE(std::signbit(value_of("abs -" + kNan)));
}

TEST(ExprInterpreter, RoundAddsAHalfAndTruncatesToThirtyTwoBits) {
  const ValueCase cases[] = {
      {"round 2.5", 3},           {"round 2.4", 2},           {"round -2.5", -2},
      {"round -2.7", -2},         {"round -0.7", 0},          {"round 2147483646.5", 2147483647},
      {"round 2147483647.5", 2147483647}, {"round 3e9", 2147483647},
      {"round exp 1000", 2147483647},     {"round -2147483649", -2147483648.0},
      {"round -3e9", -2147483648.0},      {"round -exp 1000", -2147483648.0},
      {"round " + kNan, 0},
  };
  for (const ValueCase& c : cases) EXPECT_EQ(value_of(c.text), c.value) << c.text;
}

TEST(ExprInterpreter, ComparisonsAndLogic) {
  const ValueCase cases[] = {
      {"(1 < 2) + (2 < 3)", 2}, {"2 >= 2", 1},  {"2 <= 1", 0},  {"3 > 3", 0},
      {"1 != 1", 0},            {"1 == 1", 1},  {"-0 == 0", 1}, {"!(0)", 1},
      {"! -0", 1},              {"0 || 0", 0},  {"0 || 2", 1},  {"2 && 0", 0},
      {"0.5 && -1", 1},
      // A NaN makes every ordered comparison false and counts as non-zero.
      {kNan + " == " + kNan, 0}, {kNan + " != " + kNan, 1}, {kNan + " > 1", 0},
      {kNan + " <= 1", 0},       {"! " + kNan, 0},          {kNan + " || 0", 1},
      {kNan + " && 1", 1},
  };
  for (const ValueCase& c : cases) EXPECT_EQ(value_of(c.text), c.value) << c.text;
}

TEST(ExprInterpreter, NanPassesEveryDomainCheck) {
  for (const char* op : {"log ", "log10 ", "asin ", "acos ", "1 / ", "1 % ", "1 + "})
    EXPECT_TRUE(std::isnan(value_of(op + kNan))) << op;
  EXPECT_TRUE(std::isnan(value_of(kNan + " ^ 2")));
  EXPECT_TRUE(std::isnan(value_of(kNan + " / 2")));
}

TEST(ExprInterpreter, DomainFaultsEndTheRun) {
  const std::string divide = "KUP error - attempt to divide by 0\n";
  const std::string power = "KUP error - power of negative number is forbidden\n";
  const std::string logarithm = "KUP error - logarithm of number lower or equal to 0 is forbidden\n";
  const std::pair<std::string, std::string> cases[] = {
      {"5 / 0", divide},      {"5 % 0", divide},   {"5 / -0", divide},   {"5 % -0", divide},
      {"0 && 1/0", divide},   {"(0-1) ^ 2", power}, {"-2^2", power},     {"- 2 ^ 2", power},
      {"-1 ^ 0", power},      {"log 0", logarithm}, {"log -0", logarithm},
      {"log10 -1", logarithm}, {"log10 0", logarithm}, {"1 || log 0", logarithm},
      {"acos 2", "KUP error - arc cosine of number outside [-1, 1] is forbidden\n"},
      {"asin -1.5", "KUP error - arc sine of number outside [-1, 1] is forbidden\n"},
      {"asin 1.0000001", "KUP error - arc sine of number outside [-1, 1] is forbidden\n"},
      // The leftmost fault in execution order is the one reported.
      {"log 0 + 1/0", logarithm}, {"1/0 + log 0", divide}, {"(1 / (log 0)) / 0", logarithm},
  };
  for (const auto& [text, message] : cases) EXPECT_EQ(fault_message_of(text), message) << text;
}

/// Runs hand-made code with the given constants.
double run_hand_code(const std::vector<std::int32_t>& codes, const std::vector<double>& constants) {
  reset_evaluator();
  for (std::int32_t code : codes) evaluator.code_list.append(code);
  for (double value : constants) evaluator.constant_pool.append(value);
  return run_code();
}

TEST(ExprInterpreter, HandMadeCode) {
  EXPECT_EQ(run_hand_code({1, 0, 19, 20, 21, 39, -5, 1000, 1, 5}, {42, 2}), 40);
  EXPECT_EQ(evaluator.value_stack.top, 0);
  // Code 2 writes its text without prefix and newline.
  EXPECT_EQ(fault_message([] { run_hand_code({1, 2}, {1}); }), "Stack error!");
  // Code that does not fit the stack or the pool ends the run the same way.
  EXPECT_EQ(fault_message([] { run_hand_code({1, 4}, {1}); }), "Stack error!");
  EXPECT_EQ(fault_message([] { run_hand_code({3}, {}); }), "Stack error!");
  EXPECT_EQ(fault_message([] { run_hand_code({1, 1}, {1}); }), "Stack error!");
  EXPECT_EQ(fault_message([] { run_hand_code({}, {}); }), "Stack error!");
}

TEST(ExprInterpreter, FullValueStackEndsTheRun) {
  evaluator.value_stack.top = static_cast<std::int32_t>(ValueStack::kCapacity) - 1;
  evaluator.value_stack.push(1);
  EXPECT_EQ(fault_message([] { evaluator.value_stack.push(2); }),
            "KUP error - expression too complex (more than 1024 values on the stack)\n");
  evaluator.value_stack.top = 0;
}

}  // namespace
}  // namespace kup
