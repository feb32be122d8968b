#include "expr/interpreter.h"

#include <bit>
#include <cmath>
#include <iterator>

#include "driver/diagnostics.h"
#include "driver/text_format.h"
#include "expr/evaluator_state.h"

namespace kup {

namespace {

/// The factor that turns a natural logarithm into a decimal one.
const double kLog10Factor = std::bit_cast<double>(0x3FDBCB7B1526E511ULL);

/// Ends the run for code that does not fit the stack: "Stack error!" with
/// neither prefix nor newline.
[[noreturn]] void stack_error() { fatal(std::string_view("Stack error!")); }

double truth(bool value) { return value ? 1.0 : 0.0; }

/// Ends the run for a zero divisor of "/" and "%".
void check_divisor(double b) {
  if (b == 0) fatal("KUP error - attempt to divide by 0\n");
}

/// Ends the run for an argument of a logarithm that is 0 or below.
void check_logarithm(double x) {
  if (x <= 0) fatal("KUP error - logarithm of number lower or equal to 0 is forbidden\n");
}

double negate(double x) { return -x; }
double add(double a, double b) { return a + b; }
double subtract(double a, double b) { return a - b; }
double multiply(double a, double b) { return a * b; }

double divide(double a, double b) {
  check_divisor(b);
  return a / b;
}

double remainder_of(double a, double b) {
  check_divisor(b);
  return std::fmod(a, b);
}

double power(double a, double b) {
  if (a < 0) fatal("KUP error - power of negative number is forbidden\n");
  return std::pow(a, b);
}

double sine(double x) { return std::sin(x); }
double cosine(double x) { return std::cos(x); }
double tangent(double x) { return std::tan(x); }
double arc_tangent(double x) { return std::atan(x); }
double hyperbolic_sine(double x) { return std::sinh(x); }
double hyperbolic_cosine(double x) { return std::cosh(x); }
double hyperbolic_tangent(double x) { return std::tanh(x); }
double exponential(double x) { return std::exp(x); }

double arc_sine(double x) {
  if (x < -1 || x > 1) fatal("KUP error - arc sine of number outside [-1, 1] is forbidden\n");
  return std::asin(x);
}

double arc_cosine(double x) {
  if (x < -1 || x > 1) fatal("KUP error - arc cosine of number outside [-1, 1] is forbidden\n");
  return std::acos(x);
}

double natural_log(double x) {
  check_logarithm(x);
  return std::log(x);
}

double decimal_log(double x) {
  check_logarithm(x);
  return std::log(x) * kLog10Factor;
}

double floor_of(double x) { return std::floor(x); }
double ceil_of(double x) { return std::ceil(x); }
double abs_of(double x) { return std::fabs(x); }

/// x + 0.5 truncated toward zero to a signed 32-bit integer; a sum beyond
/// that range is clamped to it and a NaN gives 0.
double round_of(double x) {
  double sum = x + 0.5;
  if (std::isnan(sum)) return 0;
  if (sum >= 2147483648.0) return 2147483647.0;
  if (sum <= -2147483649.0) return -2147483648.0;
  return static_cast<double>(static_cast<std::int32_t>(sum));
}

double sign_of(double x) { return x > 0 ? 1.0 : x < 0 ? -1.0 : 0.0; }

double greater(double a, double b) { return truth(a > b); }
double less(double a, double b) { return truth(a < b); }
double greater_equal(double a, double b) { return truth(a >= b); }
double less_equal(double a, double b) { return truth(a <= b); }
double logical_not(double x) { return truth(x == 0); }
double logical_or(double a, double b) { return truth(a != 0 || b != 0); }
double logical_and(double a, double b) { return truth(a != 0 && b != 0); }
double equal(double a, double b) { return truth(a == b); }
double not_equal(double a, double b) { return truth(!(a == b)); }

/// What a code does.
enum class Action { Nothing, Literal, StackError, Monadic, Dyadic };

/// One entry of the execution table.
struct Operation {
  Action action = Action::Nothing;
  double (*monadic)(double) = nullptr;
  double (*dyadic)(double, double) = nullptr;
};

constexpr Operation nothing() { return {}; }
constexpr Operation monadic(double (*f)(double)) { return {Action::Monadic, f, nullptr}; }
constexpr Operation dyadic(double (*f)(double, double)) { return {Action::Dyadic, nullptr, f}; }

/// The execution table, indexed by code.
constexpr Operation kOperations[] = {
    nothing(),                         // 0
    {Action::Literal},                 // 1
    {Action::StackError},              // 2
    monadic(negate),                   // 3 -
    dyadic(add),                       // 4 +
    dyadic(subtract),                  // 5 -
    dyadic(multiply),                  // 6 *
    dyadic(divide),                    // 7 /
    dyadic(remainder_of),              // 8 %
    dyadic(power),                     // 9 ^
    monadic(sine),                     // 10 sin
    monadic(cosine),                   // 11 cos
    monadic(tangent),                  // 12 tan
    monadic(arc_sine),                 // 13 asin
    monadic(arc_cosine),               // 14 acos
    monadic(arc_tangent),              // 15 atan
    monadic(hyperbolic_sine),          // 16 sinh
    monadic(hyperbolic_cosine),        // 17 cosh
    monadic(hyperbolic_tangent),       // 18 tanh
    nothing(),                         // 19
    nothing(),                         // 20
    nothing(),                         // 21
    monadic(natural_log),              // 22 log
    monadic(decimal_log),              // 23 log10
    monadic(exponential),              // 24 exp
    monadic(floor_of),                 // 25 floor
    monadic(ceil_of),                  // 26 ceil
    monadic(abs_of),                   // 27 abs
    monadic(round_of),                 // 28 round
    monadic(sign_of),                  // 29 sign
    dyadic(greater),                   // 30 >
    dyadic(less),                      // 31 <
    dyadic(greater_equal),             // 32 >=
    dyadic(less_equal),                // 33 <=
    monadic(logical_not),              // 34 !
    dyadic(logical_or),                // 35 ||
    dyadic(logical_and),               // 36 &&
    dyadic(equal),                     // 37 ==
    dyadic(not_equal),                 // 38 !=
};
static_assert(std::size(kOperations) == kCodeLast + 1);

/// The operation of a code; codes outside the table do nothing.
const Operation& operation_of(std::int32_t code) {
  static constexpr Operation kIgnored{};
  if (code < 0 || code > kCodeLast) return kIgnored;
  return kOperations[code];
}

}  // namespace

void ValueStack::push(double value) {
  if (top >= static_cast<std::int32_t>(kCapacity))
    fatal(format("KUP error - expression too complex (more than %d values on the stack)\n",
                 static_cast<int>(kCapacity)));
  values[top++] = value;
}

double ValueStack::pop() {
  if (top <= 0) stack_error();
  return values[--top];
}

double& ValueStack::peek() {
  if (top <= 0) stack_error();
  return values[top - 1];
}

double run_code() {
  std::size_t next_constant = 0;
  for (std::size_t i = 0; i < evaluator.code_list.count; ++i) {
    const Operation& op = operation_of(evaluator.code_list.codes[i]);
    switch (op.action) {
      case Action::Nothing:
        break;
      case Action::Literal:
        if (next_constant >= evaluator.constant_pool.count) stack_error();
        evaluator.value_stack.push(evaluator.constant_pool.values[next_constant++]);
        break;
      case Action::StackError:
        stack_error();
      case Action::Monadic: {
        double& x = evaluator.value_stack.peek();
        x = op.monadic(x);
        break;
      }
      case Action::Dyadic: {
        double b = evaluator.value_stack.pop();
        double a = evaluator.value_stack.pop();
        evaluator.value_stack.push(op.dyadic(a, b));
        break;
      }
    }
  }
  return evaluator.value_stack.pop();
}

}  // namespace kup
