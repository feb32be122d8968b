// Micro benchmarks of text expansion: a data line of ten words, three of
// which name macros, with few and with nearly the most macros defined.
#include <benchmark/benchmark.h>

#include "bench_setup.h"

#include "macros/expansion.h"
#include "macros/macro_table.h"

namespace {

/// expand_text of one data line; the argument is the number of macros.
void BM_ExpandDataLine(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  kup::bench::fresh_state();
  kup::bench::define_macros(count);
  const std::string text = kup::bench::data_line(count);
  std::string out;
  for (auto _ : state) {
    kup::expand_text(text, out, false, kup::TextKind::Data);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ExpandDataLine)->Arg(10)->Arg(500)->Arg(990);

/// A data line none of whose words names a macro (990 macros defined).
void BM_ExpandPlainLine(benchmark::State& state) {
  kup::bench::fresh_state();
  kup::bench::define_macros(990);
  const std::string text = "alpha bravo charlie delta echo foxtrot golf hotel india juliet";
  std::string out;
  for (auto _ : state) {
    kup::expand_text(text, out, false, kup::TextKind::Data);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ExpandPlainLine);

/// find_macro alone, for a name that exists and one that does not.
void BM_FindMacro(benchmark::State& state) {
  kup::bench::fresh_state();
  kup::bench::define_macros(990);
  const std::string present = kup::bench::macro_name(321);
  const std::string absent = "foxtrot";
  for (auto _ : state) {
    benchmark::DoNotOptimize(kup::find_macro(present));
    benchmark::DoNotOptimize(kup::find_macro(absent));
  }
}
BENCHMARK(BM_FindMacro);

}  // namespace
