// The expression evaluator: compiles an expression into postfix code, runs
// it on a stack of doubles and writes the value as text.
#pragma once

#include <string>
#include <string_view>

#include "expr/interpreter.h"
#include "expr/parser.h"

namespace kup {

/// The state of the expression evaluator: the code and the constants of
/// the expression being evaluated, its value stack, and the nesting of the
/// parser.
struct EvaluatorState {
  CodeList code_list;
  ConstantPool constant_pool;
  ValueStack value_stack;
  int nesting = 0;  ///< the current nesting of compile_span
};

extern EvaluatorState evaluator;

/// Empties the code list, the constant pool and the value stack, for a new
/// expression or a new run.
void reset_evaluator();

/// Evaluates `text` and writes the value into `out`: a whole number for
/// precision 0, fixed notation with p decimals for p > 0, exponent
/// notation with -p decimals for p < 0 (brought within -9..9 with a
/// warning). Every fault ends the run.
void evaluate_to_text(std::string_view text, std::string& out, int precision);

/// The truth of an evaluated text: false exactly when, after an optional
/// sign, no digit follows or every leading digit is 0.
bool text_is_true(std::string_view text);

/// Writes `value` into `out` with a precision already within -9..9: "%.*f"
/// for p >= 0, "%.*e" with -p decimals for p < 0; "inf", "-inf" and an
/// unsigned "nan" for the values that are no numbers.
void value_to_text(double value, int precision, std::string& out);

}  // namespace kup
