// The postfix code of an expression, its constants and the stack it runs
// on: what the parser writes and the interpreter reads, held in the
// evaluator's state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kup {

/// The codes of compiled expressions. A monadic code follows the code of
/// its operand, a dyadic code the codes of both operands.
enum ExprCode : std::int32_t {
  kCodeNothing = 0,
  kCodeLiteral = 1,
  kCodeStackError = 2,
  kCodeNegate = 3,
  kCodeAdd = 4,
  kCodeSubtract = 5,
  kCodeMultiply = 6,
  kCodeDivide = 7,
  kCodeRemainder = 8,
  kCodePower = 9,
  kCodeSin = 10,
  kCodeCos = 11,
  kCodeTan = 12,
  kCodeAsin = 13,
  kCodeAcos = 14,
  kCodeAtan = 15,
  kCodeSinh = 16,
  kCodeCosh = 17,
  kCodeTanh = 18,
  kCodeLog = 22,
  kCodeLog10 = 23,
  kCodeExp = 24,
  kCodeFloor = 25,
  kCodeCeil = 26,
  kCodeAbs = 27,
  kCodeRound = 28,
  kCodeSign = 29,
  kCodeGreater = 30,
  kCodeLess = 31,
  kCodeGreaterEqual = 32,
  kCodeLessEqual = 33,
  kCodeNot = 34,
  kCodeOr = 35,
  kCodeAnd = 36,
  kCodeEqual = 37,
  kCodeNotEqual = 38,
  kCodeLast = kCodeNotEqual,
};

/// The postfix code of one expression, in execution order.
struct CodeList {
  static constexpr std::size_t kCapacity = 1024;
  std::int32_t codes[kCapacity] = {};
  std::size_t count = 0;

  /// Appends a code; a full list ends the run.
  void append(std::int32_t code);
};

/// The values of the number literals, in the order the code pushes them.
/// A text of 1023 characters holds at most 512 literals.
struct ConstantPool {
  static constexpr std::size_t kCapacity = 512;
  double values[kCapacity] = {};
  std::size_t count = 0;

  /// Appends a value; a full pool ends the run.
  void append(double value);
};

/// The intermediate values of one run of expression code.
struct ValueStack {
  static constexpr std::size_t kCapacity = 1024;
  double values[kCapacity] = {};
  /// The count of values held; the top value is at top - 1.
  std::int32_t top = 0;

  /// Pushes a value; a full stack ends the run.
  void push(double value);
  /// Removes and returns the top value; an empty stack ends the run.
  double pop();
  /// The top value, which must exist (an empty stack ends the run).
  double& peek();
};

/// The state of the expression evaluator: the code and the constants of
/// the expression being evaluated, its value stack, and the nesting of the
/// parser.
struct EvaluatorState {
  CodeList code_list;
  ConstantPool constant_pool;
  ValueStack value_stack;
  int nesting = 0;  ///< the current nesting of compile_span
  /// The whole text being compiled by compile_expression.
  std::string_view text;
  /// Set while compiling under KUP_EXTRA_WARNINGS=1 when, at one level of
  /// parentheses, an operator follows one that binds looser in the usual
  /// precedence, so that left to right groups the text otherwise.
  bool grouping_differs = false;
};

extern EvaluatorState evaluator;
}  // namespace kup
