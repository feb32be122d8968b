// The expression code interpreter: runs the postfix code of the parser on a
// stack of doubles, with the domain checks of division, power, the arc
// functions and the logarithms.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kup {

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

/// Runs every code of the evaluator's code list in order and returns the
/// value left on top of its value stack, removing it. Every domain fault
/// ends the run.
double run_code();

}  // namespace kup
