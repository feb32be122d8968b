// The expression parser: checks the parentheses of an expression and
// compiles it into postfix code by recursive descent over spans of the one
// text. All dyadic operators share one rank and apply from left to right;
// parentheses are the only grouping.
#pragma once

#include <cstdint>
#include <string_view>

#include "expr/evaluator_state.h"

namespace kup {

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

/// Compiles `text`, whose parentheses balance, into the emptied evaluator
/// by the single pass of plain expressions (digit literals, groups and
/// dyadic operators); false, with the evaluator to be emptied again, for
/// any other text. For a plain one it writes what compile_span writes;
/// tests and a fuzzer compare the two.
bool compile_plain(std::string_view text);

/// Compiles a whole expression afresh: checks its parentheses, empties the
/// evaluator and compiles the text. Every fault ends the run. Plain
/// expressions (digit literals, groups and dyadic operators) take a single
/// pass that writes the code compile_span writes; any other, and every
/// faulty one, is compiled by compile_span.
void compile_expression(std::string_view text);

}  // namespace kup
