// Micro benchmarks of the expression evaluator on the texts that #int
// and #if hand it once their macros are replaced.
#include <benchmark/benchmark.h>

#include "bench_setup.h"
#include "expr/expr.h"

namespace {

void evaluate(benchmark::State& state, const std::string& text, int precision) {
  kup::bench::fresh_state();
  std::string out;
  for (auto _ : state) {
    kup::evaluate_to_text(text, out, precision);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

/// An #int line's expression: a group, three operators, whole-number result.
void BM_EvaluateInt(benchmark::State& state) { evaluate(state, "(6 * 3 + 12) % 11", 0); }
BENCHMARK(BM_EvaluateInt);

/// An #if condition: one comparison.
void BM_EvaluateCondition(benchmark::State& state) { evaluate(state, "7 > 5", 0); }
BENCHMARK(BM_EvaluateCondition);

/// A lone number, the cheapest expression.
void BM_EvaluateNumber(benchmark::State& state) { evaluate(state, "42", 0); }
BENCHMARK(BM_EvaluateNumber);

/// A #fix line: functions, nested groups and a fixed-point result.
void BM_EvaluateFunctions(benchmark::State& state) {
  evaluate(state, "(sin 0.5 + cos (2 * 0.25)) * 100 / 3", 2);
}
BENCHMARK(BM_EvaluateFunctions);

}  // namespace
