// Numeric conversion of results: the notations, rounding of halfway cases,
// signed zeros, infinities and NaN, the precision warning and truth tests.
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "driver/driver.h"
#include "expr/conversion.h"
#include "expr/expr.h"
#include "expr_test_support.h"

namespace kup {
namespace {

using test_support::ErrCapture;
using test_support::fault_message;
using test_support::kCommandLine;

std::string evaluate(std::string_view text, int precision) {
  std::string out;
  evaluate_to_text(text, out, precision);
  return out;
}

TEST(Conversion, Notations) {
  struct Case {
    const char* text;
    int precision;
    const char* result;
  };
  const Case cases[] = {
      {"2.5", 0, "2"},         {"3.5", 0, "4"},          {"0.5", 0, "0"},
      {"-0.4", 0, "-0"},       {"7/2", 0, "4"},          {"2.4999", 0, "2"},
      {"3.7", 0, "4"},         {"1/3", 2, "0.33"},       {"2", 2, "2.00"},
      {"3.14159", 2, "3.14"},  {"0.125", 2, "0.12"},     {"0.375", 2, "0.38"},
      {"2.675", 2, "2.67"},    {"-0", 3, "-0.000"},      {"1/3", -6, "3.333333e-01"},
      {"1e6", -6, "1.000000e+06"}, {"1e100", -6, "1.000000e+100"},
      {"1234.5", -6, "1.234500e+03"}, {"0", -6, "0.000000e+00"}, {"-0", -6, "-0.000000e+00"},
      {"1.5", -1, "1.5e+00"},  {"1e20", 0, "100000000000000000000"},
      {"1e-300", 9, "0.000000000"},
      {"exp 1000", 0, "inf"},  {"-exp 1000", 2, "-inf"}, {"-exp 1000", -6, "-inf"},
      {"exp 1000 - exp 1000", 0, "nan"}, {"exp 1000 - exp 1000", -6, "nan"},
      {"-(exp 1000 - exp 1000)", 0, "nan"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(evaluate(c.text, c.precision), c.result) << c.text << " at " << c.precision;
}

TEST(Conversion, ANulIsAnOrdinaryCharacter) {
  using namespace std::string_view_literals;
  EXPECT_EQ(fault_message([] { evaluate("1+2\0 garbage"sv, 0); }), "KUP error - dyadic operator expected\n");
  EXPECT_EQ(fault_message([] { evaluate("(\0"sv, 0); }),
            std::string("KUP error - unmatched parenthesis into expression <(\0>\n"sv));
}

TEST(Conversion, LargestValueInFixedNotation) {
  std::string out = evaluate("1.7976931348623157e308", 9);
  EXPECT_EQ(out.size(), 319u);
  EXPECT_EQ(out.substr(0, 12), "179769313486");
  EXPECT_EQ(out.substr(308), "8.000000000");
}

TEST(Conversion, NanHasNoSignInEitherNotation) {
  const double nans[] = {std::numeric_limits<double>::quiet_NaN(),
                         -std::numeric_limits<double>::quiet_NaN(),
                         std::bit_cast<double>(0xFFF0000000000001ULL)};
  for (double nan : nans)
    for (int precision : {0, 4, -3}) {
      std::string out;
      value_to_text(nan, precision, out);
      EXPECT_EQ(out, "nan");
    }
}

TEST(Conversion, PrecisionBeyondNineIsReducedWithAWarning) {
  struct Case {
    int precision;
    const char* result;
  };
  for (bool warning_mode : {true, false}) {
    modes.warning = warning_mode;
    for (const Case& c : {Case{12, "0.333333333"}, Case{-12, "3.333333333e-01"},
                          Case{10, "0.333333333"}, Case{-10, "3.333333333e-01"}}) {
      ErrCapture err;
      EXPECT_EQ(evaluate("1/3", c.precision), c.result);
      EXPECT_EQ(err.text(), std::string(kCommandLine) + "KUP warning - precision of fix number = " +
                                std::to_string(c.precision) + " reduced to 9'\n");
    }
  }
  modes.warning = true;
  for (const Case& c : {Case{9, "0.333333333"}, Case{-9, "3.333333333e-01"}}) {
    ErrCapture err;
    EXPECT_EQ(evaluate("1/3", c.precision), c.result);
    EXPECT_EQ(err.text(), "");
  }
}

TEST(Conversion, AFaultLeavesTheResultUnwritten) {
  std::string out = "kept";
  EXPECT_EQ(fault_message([&out] { evaluate_to_text("1/0", out, 0); }),
            "KUP error - attempt to divide by 0\n");
  EXPECT_EQ(out, "kept");
  // The warning comes first, then the fault, each after its location.
  EXPECT_EQ(fault_message([&out] { evaluate_to_text("(", out, 12); }),
            "KUP warning - precision of fix number = 12 reduced to 9'\n" + std::string(kCommandLine) +
                "KUP error - unmatched parenthesis into expression <(>\n");
  EXPECT_EQ(fault_message([&out] { evaluate_to_text("", out, 0); }),
            "KUP error - regular expression expected\n");
}

TEST(Conversion, TruthOfEvaluatedTexts) {
  for (const char* text : {"1", "-5", "+7", "0001", "100000000000000000000", "2.5"})
    EXPECT_TRUE(text_is_true(text)) << text;
  for (const char* text : {"0", "-0", "+0", "000", "", "-", "+", "--1", "0.5", "inf", "-inf", "nan"})
    EXPECT_FALSE(text_is_true(text)) << text;
}

}  // namespace
}  // namespace kup
