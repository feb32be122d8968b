// The expression evaluator: compiles an expression into postfix code, runs
// it on a stack of doubles and writes the value as text. What its callers
// use; the parts of the evaluator have headers of their own.
#pragma once

#include <string>
#include <string_view>

namespace kup {

/// Puts the evaluator back at its start, for a new run.
void reset_evaluator();

/// Evaluates `text` and writes the value into `out`: a whole number for
/// precision 0, fixed notation with p decimals for p > 0, exponent
/// notation with -p decimals for p < 0 (brought within -9..9 with a
/// warning). Every fault ends the run.
void evaluate_to_text(std::string_view text, std::string& out, int precision);

/// The truth of an evaluated text: false exactly when, after an optional
/// sign, no digit follows or every leading digit is 0.
bool text_is_true(std::string_view text);

}  // namespace kup
