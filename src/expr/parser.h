// The expression parser: checks the parentheses of an expression and
// compiles it into postfix code by recursive descent over spans of the one
// text. All dyadic operators share one rank and apply from left to right;
// parentheses are the only grouping.
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

/// A stretch of the expression text, the end excluded. Compiling only ever
/// narrows spans; the text itself is never copied.
struct Span {
  const char* begin = nullptr;
  const char* end = nullptr;

  bool empty() const { return begin == end; }
  std::string_view text() const {
    return {begin, static_cast<std::size_t>(end - begin)};
  }
  /// The rest of this span from `position` on.
  Span from(const char* position) const { return {position, end}; }
};

/// A dyadic operator: its text, its code and the message (a format) for a
/// missing right operand.
struct DyadicOperator {
  std::string_view text;
  std::int32_t code;
  std::string_view missing_operand;
};

/// What scan_monadic found at the start of a span.
struct MonadicScan {
  bool found = false;
  /// The code to append after the operand; kCodeNothing for plus.
  std::int32_t code = kCodeNothing;
  /// After the operator and the white space behind it.
  const char* next = nullptr;
};

/// What scan_operand found at the start of a span.
struct OperandScan {
  bool found = false;
  /// What compile_span compiles: the inside of a group, a literal, or a
  /// monadic operator with its whole operand.
  Span extent;
  /// The end of the operand's own text (after the ")" of a group).
  const char* close = nullptr;
  /// After the operand and the white space behind it.
  const char* next = nullptr;
};

/// What scan_operator found at a position.
struct OperatorScan {
  bool found = false;
  /// The run of operator characters.
  Span run;
  /// The dyadic operator the run spells, or null when it spells none.
  const DyadicOperator* dyadic = nullptr;
  /// After the run and the white space behind it.
  const char* next = nullptr;
};

/// The three forms a span can have.
enum class SpanForm { LoneNumber, Monadic, General };

/// Returns if the parentheses of `text` balance; otherwise ends the run.
void check_parentheses(std::string_view text);

/// Finds a monadic operator ("!", "+", "-" or a function name) at the
/// span's start; any other name ends the run.
MonadicScan scan_monadic(Span at);

/// The end of the number literal that starts at `at.begin` (a digit).
const char* scan_number(Span at);

/// The value of a literal's characters: their longest prefix that forms a
/// decimal floating number.
double literal_value(Span literal);

/// Finds the operand at the span's start: a group, a monadic operator with
/// its operand, or a number literal.
OperandScan scan_operand(Span at);

/// Finds the run of operator characters at the span's start.
OperatorScan scan_operator(Span at);

/// Decides whether a span is a lone number, a monadic form or the general
/// form of operands joined by dyadic operators.
SpanForm classify_span(Span span);

/// Appends to the code list and the constant pool of the evaluator the
/// code that computes the span.
void compile_span(Span span);

/// Compiles a whole expression afresh: checks its parentheses, empties the
/// evaluator and compiles the text. Every fault ends the run. Plain
/// expressions (digit literals, groups and dyadic operators) take a single
/// pass that writes the code compile_span writes; any other, and every
/// faulty one, is compiled by compile_span.
void compile_expression(std::string_view text);

}  // namespace kup
