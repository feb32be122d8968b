// Micro benchmarks of the field scanner: cutting a data line into fields.
#include <benchmark/benchmark.h>

#include "bench_setup.h"

#include "macros/field_scanner.h"

namespace {

/// Scans a data line of ten words field by field, as expansion does.
void BM_NextFieldDataLine(benchmark::State& state) {
  kup::bench::fresh_state();
  const std::string text = kup::bench::data_line(500);
  std::string field;
  for (auto _ : state) {
    std::string_view rest = text;
    while (!rest.empty()) rest = kup::next_field(rest, field);
    benchmark::DoNotOptimize(field.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_NextFieldDataLine);

/// Scans an expression-like text: numbers, operators, parentheses.
void BM_NextFieldExpression(benchmark::State& state) {
  kup::bench::fresh_state();
  const std::string text = "(c3 * 3 + 12.5e-1) % 11 >= x[2] && 'quoted text' `frozen text`";
  std::string field;
  for (auto _ : state) {
    std::string_view rest = text;
    while (!rest.empty()) rest = kup::next_field(rest, field);
    benchmark::DoNotOptimize(field.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_NextFieldExpression);

}  // namespace
