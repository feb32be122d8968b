#!/usr/bin/env bash
# Fails when a function in src/ has a cognitive complexity above 20, as
# clang-tidy measures it. Run from the root of the repository; configures
# (without building) a directory of its own for the compile commands.
set -euo pipefail
. .ci/common.sh

TIDY_DIR=${1:-build-tidy}
if ! command -v run-clang-tidy >/dev/null 2>&1; then
  apt_get update
  apt_get install -y clang-tidy
fi
fresh_directory "$TIDY_DIR"
cmake -S . -B "$TIDY_DIR" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
report=$(run-clang-tidy -quiet -j 2 -p "$TIDY_DIR" -checks='-*,readability-function-cognitive-complexity' \
  -config="{CheckOptions: [{key: readability-function-cognitive-complexity.Threshold, value: 20}]}" src/ 2>&1) || {
  echo "$report" >&2
  exit 1
}
if grep -q 'warning:' <<<"$report"; then
  echo "error: functions over a cognitive complexity of 20:" >&2
  grep 'warning:' <<<"$report" | sort -u >&2
  exit 1
fi
echo "no function in src/ over a cognitive complexity of 20"
