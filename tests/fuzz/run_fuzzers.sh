#!/usr/bin/env bash
# Builds the fuzzers with clang and runs each for a bounded time.
# Usage: tests/fuzz/run_fuzzers.sh BUILD_DIR SECONDS
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
build=${1:-$repo/build-fuzz}
seconds=${2:-60}

CXX=clang++ cmake -S "$repo" -B "$build" -DKUP_FUZZ=ON -DKUP_BUILD_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target fuzz_run fuzz_expr fuzz_ls

corpus=$build/corpus
python3 "$here/make_corpus.py" "$repo/tests/e2e/cases" "$corpus/run" "$corpus/expr" "$corpus/ls"

status=0
for name in fuzz_run fuzz_expr fuzz_ls; do
  echo "== $name for ${seconds}s"
  mkdir -p "$build/findings/$name"
  if ! "$build/tests/fuzz/$name" -max_total_time="$seconds" -timeout=1 -rss_limit_mb=2048 \
      -max_len=4096 -print_final_stats=1 -artifact_prefix="$build/findings/$name/" \
      "$corpus/${name#fuzz_}" 2>"$build/$name.log"; then
    status=1
    tail -40 "$build/$name.log"
  fi
  grep -E '^stat::number_of_executed_units|^Done|^#[0-9]+.*DONE' "$build/$name.log" || true
done
exit $status
