// The entry point of the evaluator: an expression text compiled, run and
// written as text.
#include <string>

#include "driver/diagnostics.h"
#include "driver/environment.h"
#include "driver/output.h"
#include "driver/text_format.h"
#include "expr/conversion.h"
#include "expr/evaluator_state.h"
#include "expr/expr.h"
#include "expr/interpreter.h"
#include "expr/parser.h"
#include "input/input_stack.h"

namespace kup {

EvaluatorState evaluator;

void reset_evaluator() {
  evaluator.code_list.count = 0;
  evaluator.constant_pool.count = 0;
  evaluator.value_stack.top = 0;
  evaluator.nesting = 0;
  evaluator.grouping_differs = false;
}

namespace {

/// The most decimals a result is written with.
constexpr int kMaxPrecision = 9;

/// Brings a precision beyond 9 in size to 9, keeping its sign, with a
/// warning that Warning Mode does not silence.
int checked_precision(int precision) {
  if (precision >= -kMaxPrecision && precision <= kMaxPrecision) return precision;
  report_diagnostic(false, DiagnosticOrigin::Input,
                    format("KUP warning - precision of fix number = %d reduced to 9'\n", precision));
  return precision > 0 ? kMaxPrecision : -kMaxPrecision;
}

}  // namespace

void evaluate_to_text(std::string_view text, std::string& out, int precision) {
  precision = checked_precision(precision);
  // A NUL byte is an ordinary character here as everywhere: it belongs to
  // no class of the parser, so it is reported, never taken for the end.
  compile_expression(text);
  double value = run_code();
  value_to_text(value, precision, out);
}

}  // namespace kup
