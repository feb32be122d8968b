// The expression parser: left-to-right evaluation, operator runs, monadic
// nesting, literals, the code it writes and every parser fault.
#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "expr_test_support.h"

#include "driver/environment.h"
#include "expr/evaluator_state.h"
#include "expr/expr.h"
#include "expr/parser.h"

namespace kup {
namespace {

using test_support::compile_text;
using test_support::ErrCapture;
using test_support::fault_message;
using test_support::fault_message_of;
using test_support::value_of;

struct ValueCase {
  const char* text;
  double value;
};

TEST(ExprParser, ValuesFollowTheLeftToRightRule) {
  const ValueCase cases[] = {
      {"1+2*3", 9},          {"10-4-3", 3},         {"2^3^2", 64},
      {"3 > 2 > 1", 0},      {"2*(3+4)", 14},       {"1 || 0 && 0", 0},
      {"1 > 2 == 0", 1},     {"2 - -3", 5},         {"2^ -1", 0.5},
      {"1 =", 1},            {"2 = + 1", 3},        {"5 ", 5},
      {"( 5 )", 5},          {"((((7))))", 7},      {"1\t+\n2\r*\v3\f", 9},
      {"+5", 5},             {"--5", 5},            {"- - 2", 2},
      {"!0", 1},             {"! 5", 0},            {"!!3", 1},
      {"-(2) * 3", -6},      {"!(0) && 1", 1},      {"!(1==2)", 1},
      {"2 * -(3+1)", -8},    {"-2 + 3", 1},         {"10 / 4 - 0.5", 2},
  };
  for (const ValueCase& c : cases) EXPECT_EQ(value_of(c.text), c.value) << c.text;
}

TEST(ExprParser, FunctionsTakeTheOperandThatFollows) {
  const ValueCase cases[] = {
      {"sin cos 0", std::sin(1.0)},        {"sin(2)", std::sin(2.0)},
      {"(sin 2)", std::sin(2.0)},          {"sin 2 + 1", std::sin(2.0) + 1},
      {"1 + (sin(2))", 1 + std::sin(2.0)}, {"1 + sin(2)", 1 + std::sin(2.0)},
      {"sin(2) + 1", std::sin(2.0) + 1},   {"sin 2 * 3", std::sin(2.0) * 3},
      {"sin (1 + 1) * 3", std::sin(2.0) * 3}, {"abs - 3", 3},
      {"- sin - 1", std::sin(1.0)},
  };
  for (const ValueCase& c : cases) EXPECT_EQ(value_of(c.text), c.value) << c.text;
}

TEST(ExprParser, LiteralsTakeExponentsAndRepeatedPoints) {
  const ValueCase cases[] = {
      {"1e+2", 100},      {"1E-2 * 3", 0.01 * 3}, {"1.2.3", 1.2}, {"1e5e3", 100000},
      {"1.5e3", 1500},    {"007", 7},             {"1.", 1},      {"3.e1", 30},
      {"2e1-1", 19},      {"1e999", HUGE_VAL},    {"1e-999", 0},
  };
  for (const ValueCase& c : cases) EXPECT_EQ(value_of(c.text), c.value) << c.text;
}

TEST(ExprParser, WritesPostfixCode) {
  struct CodeCase {
    const char* text;
    std::vector<std::int32_t> codes;
    std::vector<double> constants;
  };
  const CodeCase cases[] = {
      {"1+2*3", {1, 1, 4, 1, 6}, {1, 2, 3}},
      {"-2^2", {1, 3, 1, 9}, {2, 2}},
      {"sin cos 0", {1, 11, 10}, {0}},
      {"+5", {1}, {5}},
      {"1 + sin(2)", {1, 1, 10, 4}, {1, 2}},
      {"!(4) || 5 != 6", {1, 34, 1, 35, 1, 38}, {4, 5, 6}},
  };
  for (const CodeCase& c : cases) {
    compile_text(c.text);
    EXPECT_EQ(std::vector<std::int32_t>(evaluator.code_list.codes, evaluator.code_list.codes + evaluator.code_list.count),
              c.codes)
        << c.text;
    EXPECT_EQ(std::vector<double>(evaluator.constant_pool.values, evaluator.constant_pool.values + evaluator.constant_pool.count),
              c.constants)
        << c.text;
  }
}

/// The code and constants in the evaluator.
struct Compiled {
  std::vector<std::int32_t> codes;
  std::vector<double> constants;
  bool operator==(const Compiled&) const = default;
};

Compiled compiled() {
  const CodeList& list = evaluator.code_list;
  const ConstantPool& pool = evaluator.constant_pool;
  return {{list.codes, list.codes + list.count}, {pool.values, pool.values + pool.count}};
}

/// Whether the single pass takes `text` (whose parentheses balance); when
/// it does, what it wrote must be what compile_span writes.
bool plain_agrees_with_full_parser(std::string_view text) {
  if (!compile_plain(text)) return false;
  const Compiled plain = compiled();
  reset_evaluator();
  try {
    compile_span({text.data(), text.data() + text.size()});
  } catch (const RunEnd&) {
    ADD_FAILURE() << "the full parser refuses the plain <" << text << ">";
    return true;
  }
  EXPECT_TRUE(plain == compiled()) << text;
  return true;
}

/// Appends a random expression of plain operands and dyadic operators,
/// with white space here and there and now and then a piece the single
/// pass must hand over; its parentheses balance.
void append_random_expression(std::mt19937& random, std::string& text, int depth) {
  static const char* const numbers[] = {"1", "23", "007", "0", "9007199254740993"};
  static const char* const operators[] = {"+", "-", "*", "/", "%", "^", ">", "<", ">=", "<=", "==", "!=", "||", "&&"};
  static const char* const spaces[] = {"", "", " ", "\t", "\n "};
  static const char* const other[] = {"1.5", "2e3", "sin ", "!", "-", "x", "=", "."};
  const std::size_t operands = 1 + random() % 4;
  for (std::size_t i = 0; i < operands; ++i) {
    if (i > 0) text.append(spaces[random() % std::size(spaces)]).append(operators[random() % std::size(operators)]);
    if (i > 0 || depth > 0) text.append(spaces[random() % std::size(spaces)]);  // none before the first
    if (random() % 24 == 0) text.append(other[random() % std::size(other)]);
    if (depth < 4 && random() % 4 == 0) {
      text.push_back('(');
      append_random_expression(random, text, depth + 1);
      text.push_back(')');
    } else {
      text.append(numbers[random() % std::size(numbers)]);
    }
  }
  text.append(spaces[random() % std::size(spaces)]);
}

TEST(ExprParser, PlainExpressionsGetTheCodeOfTheFullParser) {
  // The single pass of plain expressions against compile_span, the
  // reference, on plain texts and on texts it must hand over.
  const char* texts[] = {
      "(3 * 3 + 0) % 11", "7 > 5", "1+2*3", "( 5 )", "((((7))))",
      "2*(3+4)", "1\t+\n2\r*\v3\f", "007", "1 || 0 && 0", "10 >= 2 != (3 <= 4)",
      "(1) + (2 ^ 2)", "1234567890123456 + 1",
  };
  for (std::string_view text : texts) EXPECT_TRUE(plain_agrees_with_full_parser(text)) << text;
  const char* handed_over[] = {"1 =", "2 = + 1", "2 - -3", "3 + (2 - -1)", "-2 + 3", "1.5 * 2", "1e3 + 2", "sin(2) + 1"};
  for (std::string_view text : handed_over) EXPECT_FALSE(plain_agrees_with_full_parser(text)) << text;
  // Random texts, most of them plain or nearly so.
  std::mt19937 random(7);
  ErrCapture err;
  int taken = 0;
  std::string text;
  for (int round = 0; round < 20000; ++round) {
    text.clear();
    append_random_expression(random, text, 0);
    taken += plain_agrees_with_full_parser(text);
  }
  EXPECT_GT(taken, 10000);
}

TEST(ExprParser, EveryFunctionNameHasItsCode) {
  const std::pair<const char*, std::int32_t> names[] = {
      {"sin", 10},  {"cos", 11},  {"tan", 12},   {"asin", 13},  {"acos", 14},  {"atan", 15},
      {"sinh", 16}, {"cosh", 17}, {"tanh", 18},  {"log", 22},   {"log10", 23}, {"exp", 24},
      {"floor", 25}, {"ceil", 26}, {"abs", 27},  {"round", 28}, {"sign", 29},
  };
  for (const auto& [name, code] : names) {
    compile_text(std::string(name) + " 0.5");
    ASSERT_EQ(evaluator.code_list.count, 2u) << name;
    EXPECT_EQ(evaluator.code_list.codes[1], code) << name;
  }
}

TEST(ExprParser, EveryDyadicOperatorHasItsCode) {
  const std::pair<const char*, std::int32_t> operators[] = {
      {"+", 4},   {"-", 5},   {"*", 6},   {"/", 7},   {"%", 8},   {"^", 9},   {">", 30},
      {"<", 31},  {">=", 32}, {"<=", 33}, {"==", 37}, {"!=", 38}, {"||", 35}, {"&&", 36},
  };
  for (const auto& [op, code] : operators) {
    compile_text(std::string("2 ") + op + " 1");
    ASSERT_EQ(evaluator.code_list.count, 3u) << op;
    EXPECT_EQ(evaluator.code_list.codes[2], code) << op;
    EXPECT_EQ(fault_message_of(std::string("2 ") + op),
              std::string("KUP error - expected valid expression following '") + op + "'\n");
  }
}

TEST(ExprParser, FaultsEndTheRunWithTheirMessages) {
  const std::string regular = "KUP error - regular expression expected\n";
  const std::string dyadic = "KUP error - dyadic operator expected\n";
  const std::pair<std::string, std::string> cases[] = {
      {"", regular},       {" 5", regular},     {"()", regular},     {".5", regular},
      {"-", regular},      {"sin", regular},    {"1 + ( )", regular},
      {"2--3", dyadic},    {"2^-1", dyadic},    {"2 = 1", dyadic},   {"1 <> 2", dyadic},
      {"5 ! 3", dyadic},   {"1 2", dyadic},     {"2e", dyadic},      {"2*-3", dyadic},
      {"(1e)", dyadic},    {"sin(2)(3)", dyadic}, {"(1)(2)", dyadic}, {"1 . 2", dyadic},
      {"1 + -", "KUP error - expected valid expression following '+'\n"},
      {"1 - sin", "KUP error - expected valid expression following '-'\n"},
      {"(", "KUP error - unmatched parenthesis into expression <(>\n"},
      {")(", "KUP error - unmatched parenthesis into expression <)(>\n"},
      {"(1))", "KUP error - unmatched parenthesis into expression <(1))>\n"},
      {"abc", "KUP error - unknown monadic operator: abc\n"},
      {"1 + xyz", "KUP error - unknown monadic operator: xyz\n"},
      {"sin2", "KUP error - unknown monadic operator: sin2\n"},
      {"Sin 2", "KUP error - unknown monadic operator: Sin\n"},
      {"- $x_1", "KUP error - unknown monadic operator: $x_1\n"},
      {"_", "KUP error - unknown monadic operator: _\n"},
  };
  for (const auto& [text, message] : cases) EXPECT_EQ(fault_message_of(text), message) << text;
}

TEST(ExprParser, AGroupWithoutItsCloseCannotBeEvaluated) {
  // Only reachable with a span cut inside a group: the whole text is
  // checked for balance first.
  const std::string unable = "KUP error - unable to evaluate expression\n";
  for (std::string_view text : {"(1", "(  ", "-(2 + (3)"}) {
    Span span{text.data(), text.data() + text.size()};
    EXPECT_EQ(fault_message([span] { scan_operand(span); }), unable) << text;
  }
}

TEST(ExprParser, ClassifiesSpans) {
  const std::pair<std::string_view, SpanForm> cases[] = {
      {"12.5e3 ", SpanForm::LoneNumber}, {"- 2", SpanForm::Monadic},
      {"sin(2)", SpanForm::Monadic},     {"sin(2) + 1", SpanForm::General},
      {"(2)", SpanForm::General},        {"2e", SpanForm::General},
  };
  for (const auto& [text, form] : cases)
    EXPECT_EQ(classify_span({text.data(), text.data() + text.size()}), form) << text;
}

TEST(ExprParser, CapacitiesFitTheLongestTextAndGuardLongerOnes) {
  std::string ones = "1";
  while (ones.size() < 1023) ones += "+1";
  EXPECT_EQ(value_of(ones), 512);
  EXPECT_EQ(fault_message_of(ones + "+1"),
            "KUP error - expression too complex (more than 512 numbers)\n");
  EXPECT_EQ(fault_message_of(std::string(1024, '-') + "1"),
            "KUP error - expression too complex (more than 1024 codes)\n");
  EXPECT_EQ(fault_message_of(std::string(3000, '(') + "1" + std::string(3000, ')')),
            "KUP error - expression too complex (more than 2048 nested levels)\n");
  EXPECT_EQ(value_of(std::string(1022, '-') + "1"), 1);
}

}  // namespace
}  // namespace kup

namespace kup {
namespace {

using test_support::compile_text;
using test_support::ErrCapture;
using test_support::fault_text;

/// Switches KUP_EXTRA_WARNINGS on while it lives.
class ExtraWarnings {
 public:
  ExtraWarnings() { settings.extra_warnings = true; }
  ~ExtraWarnings() { settings.extra_warnings = false; }
  ExtraWarnings(const ExtraWarnings&) = delete;
  ExtraWarnings& operator=(const ExtraWarnings&) = delete;
};

/// What compiling `text` under KUP_EXTRA_WARNINGS=1 wrote to standard error.
std::string warnings_of(const std::string& text) {
  ExtraWarnings on;
  ErrCapture err;
  compile_text(text);
  return err.text();
}

/// The precedence a reader of C expects, "^" being the power of
/// mathematics: a higher rank binds tighter.
struct UsualOperator {
  const char* text;
  int rank;
};
constexpr UsualOperator kUsual[] = {
    {"^", 6},  {"*", 5},  {"/", 5},  {"%", 5},  {"+", 4},  {"-", 4},  {">", 3},
    {"<", 3},  {">=", 3}, {"<=", 3}, {"==", 2}, {"!=", 2}, {"&&", 1}, {"||", 0},
};

TEST(ExprGrouping, EveryOrderedPairOfOperatorsAgainstTheUsualPrecedence) {
  // Digits alone take the single pass; a literal with a point takes the
  // full parser. Both must judge alike.
  const char* const first_operands[] = {"1", "1.5"};
  for (const UsualOperator& a : kUsual) {
    for (const UsualOperator& b : kUsual) {
      const bool differs = b.rank > a.rank || (b.rank == 6 && a.rank == 6);
      for (const char* x : first_operands) {
        const std::string sa = a.text, sb = b.text;
        const std::string flat = std::string(x) + " " + sa + " 2 " + sb + " 3";
        const std::string warned = warnings_of(flat);
        EXPECT_EQ(!warned.empty(), differs) << flat << warned;
        if (differs) {
          EXPECT_EQ(warned, "\n[Command Line]\nKUP warning - expression <" + flat +
                                "> is evaluated left to right, as (" + x + " " + sa + " 2) " + sb +
                                " 3: suggest parentheses\n");
        }
        const std::string left_first = std::string(x) + " " + sa + " 2";
        const std::string right_first = "2 " + sb + " 3";
        for (const std::string& grouped : {std::string("(").append(left_first).append(") ").append(sb).append(" 3"),
                                           std::string(x).append(" ").append(sa).append(" (").append(right_first).append(")")})
          EXPECT_EQ(warnings_of(grouped), "") << grouped;
      }
    }
  }
}

TEST(ExprGrouping, OneWarningShowsTheGroupingOfTheWholeText) {
  struct Case {
    const char* text;
    const char* grouping;  // empty: no warning
  };
  const Case cases[] = {
      {"8 > 4 && 133120 > 1000", "((8 > 4) && 133120) > 1000"},
      {"1+2*3-4*5", "(((1 + 2) * 3) - 4) * 5"},
      {"1 + (2 + 3 * 4)", "1 + ((2 + 3) * 4)"},
      {"sin(1 + 2 * 3) > 4", "sin((1 + 2) * 3) > 4"},
      {"-(2) * 3 + 1.5 * 2", "((-(2) * 3) + 1.5) * 2"},
      {"abs - 3 * 2 ^ 2", "((abs -3) * 2) ^ 2"},
      {"sin cos 0 * 2 ^ 2", "((sin cos 0) * 2) ^ 2"},
      {"- - 2 + sin(2) * 3", "(--2 + sin(2)) * 3"},
      {"1 + 2 + 3", ""},
      {"2 * 3 + 1", ""},
      {"8 - 2 - 1", ""},
      {"2 ^ 3 * 4 + 5 > 6 == 1 && 1 || 0", ""},
      {"(1 + 2) * (3 + 4) * 5", ""},
      {"- 2 * 3", ""},
      {"1 =", ""},
  };
  for (const Case& c : cases) {
    const std::string warned = warnings_of(c.text);
    if (*c.grouping == '\0') {
      EXPECT_EQ(warned, "") << c.text;
    } else {
      EXPECT_NE(warned.find(std::string(", as ") + c.grouping + ": suggest"), std::string::npos)
          << c.text << warned;
      EXPECT_EQ(std::count(warned.begin(), warned.end(), '\n'), 3) << c.text << warned;
    }
  }
  // Without the setting, not a word.
  ErrCapture err;
  compile_text("1 + 2 * 3");
  EXPECT_EQ(err.text(), "");
}

TEST(ExprGrouping, ANameGluedToAnOperatorIsNamedBeforeTheError) {
  struct Case {
    const char* text;
    const char* warning;  // empty: the error alone
  };
  const Case cases[] = {
      {"CORES>=4", "field <CORES>=4> glues the name CORES"},
      {"1 + A&&B", "field <A&&B> glues the name A"},
      {"1<X", "field <<X> glues the name X"},
      {"! 1 && !DEBUG", "field <!DEBUG> glues the name DEBUG"},
      {"CORES >= 4", ""},
      {"x[1] > 2", ""},
  };
  for (const Case& c : cases) {
    ExtraWarnings on;
    const std::string text = fault_text([&] { compile_text(c.text); });
    const std::size_t error = text.find("KUP error - unknown monadic operator:");
    ASSERT_NE(error, std::string::npos) << c.text << text;
    const std::size_t warning = text.find("KUP warning - ");
    if (*c.warning == '\0') {
      EXPECT_EQ(warning, std::string::npos) << c.text << text;
    } else {
      EXPECT_LT(warning, error) << c.text;
      EXPECT_NE(text.find(c.warning), std::string::npos) << c.text << text;
    }
  }
}

}  // namespace
}  // namespace kup
