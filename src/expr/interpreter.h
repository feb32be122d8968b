// The expression code interpreter: runs the postfix code of the parser on a
// stack of doubles, with the domain checks of division, power, the arc
// functions and the logarithms.
#pragma once

namespace kup {

/// Runs every code of the evaluator's code list in order and returns the
/// value left on top of its value stack, removing it. Every domain fault
/// ends the run.
double run_code();

}  // namespace kup
