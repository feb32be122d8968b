#!/usr/bin/env bash
# Cross builds: kup for Linux arm64 and for Windows x86-64, each built with
# its toolchain file and run through an emulator (qemu-aarch64-static,
# wine64) on every end-to-end case and on the pipe test. The native build
# (build/kup, made by .ci/run) runs the same under emulated x86-64
# processors without AVX2 and without SSSE3, so that the slower ways of
# classifying characters are the ones chosen by themselves. The cases that
# cannot hold on a platform say so in their `skip:` line; every other case
# must pass. Also makes the Windows ZIP package and checks what it holds.
#
# Run from the root of a clean clone (called by .ci/run); installs the
# cross compilers and emulators that are missing.
set -euo pipefail

exec </dev/null
cd "$(dirname "$0")/.."

ARM64_DIR=build-arm64
WINDOWS_DIR=build-windows
CASES=(tests/e2e/cases/*/*.case)

. .ci/common.sh

install_missing() {
  local missing=() package
  for package in g++-aarch64-linux-gnu qemu-user-static g++-mingw-w64-x86-64-win32 wine wine64 groff-base; do
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
  done
  if [ "${#missing[@]}" -eq 0 ]; then
    echo "all cross tools present"
    return
  fi
  echo "installing: ${missing[*]}"
  apt_get update
  apt_get install -y --no-install-recommends "${missing[@]}"
}

# Builds kup alone (GoogleTest is not there for the target) with a
# toolchain file into a fresh directory.
cross_build() {
  local dir=$1 toolchain=$2
  fresh_directory "$dir"
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DKUP_BUILD_TESTS=OFF
  cmake --build "$dir" -j2
}

# Runs every case, and kup piped into `head -1`, with the runner's
# options; shows the failures in full, or else the count of each outcome
# and the cases that passed only on a rerun. An emulator now and then
# fails to start a program at all (wine, when it cannot map its memory at
# the addresses it wants): a failing case is run up to twice more, and
# the pipe test once more.
run_cases() {
  python3 tests/e2e/run_case.py -j2 --reruns 2 "$@" "${CASES[@]}" >"$CASE_LOG" || {
    grep -v '^PASS ' "$CASE_LOG"
    return 1
  }
  grep '^PASS .*\[passed on rerun' "$CASE_LOG" || true
  tail -n 1 "$CASE_LOG"
  python3 tests/e2e/test_pipe.py "$@" || {
    echo "the pipe test failed; running it once more"
    python3 tests/e2e/test_pipe.py "$@"
  }
}

step "cross tools"
install_missing
aarch64-linux-gnu-g++ --version | head -n 1
x86_64-w64-mingw32-g++-win32 --version | head -n 1

step "Linux arm64 ($ARM64_DIR), the cases under qemu"
cross_build "$ARM64_DIR" cmake/aarch64-linux-gnu.cmake
file "$ARM64_DIR/kup" 2>/dev/null || true
CASE_LOG=$ARM64_DIR/cases.log
run_cases --kup "$ARM64_DIR/kup" --launcher qemu-aarch64-static --platform arm64

# Runs the cases with build/kup on the emulated x86-64 processor $1, which
# lacks the way of classifying $2: asking for that way must be refused.
run_on_older_cpu() {
  local cpu=$1 lacking=$2 refusal
  CASE_LOG=build/cases-$cpu.log
  run_cases --kup build/kup --launcher "qemu-x86_64-static -cpu $cpu"
  refusal=$(KUP_SIMD=$lacking qemu-x86_64-static -cpu "$cpu" build/kup -h 2>&1 >/dev/null || true)
  if ! grep -qxF "KUP error - KUP_SIMD names a way this machine lacks: '$lacking'" <<<"$refusal"; then
    echo "error: KUP_SIMD=$lacking was not refused on -cpu $cpu: $refusal" >&2
    return 1
  fi
}

step "x86-64 without AVX2 (qemu -cpu Nehalem, the SSSE3 way), the cases"
run_on_older_cpu Nehalem avx2

step "x86-64 without SSSE3 (qemu -cpu qemu64, the scalar way), the cases"
run_on_older_cpu qemu64 ssse3

step "Windows x86-64 ($WINDOWS_DIR), the cases under wine"
cross_build "$WINDOWS_DIR" cmake/mingw-w64-x86_64.cmake
(cd "$WINDOWS_DIR" && cpack -G ZIP)
zip_list=$(python3 -m zipfile -l "$WINDOWS_DIR"/kup-*-win64.zip)
for file in kup.exe kup.txt; do
  if ! grep -q "/$file " <<<"$zip_list"; then
    echo "error: the ZIP package does not hold $file" >&2
    exit 1
  fi
done
echo "$zip_list"

WINE=$(command -v wine64 || true)
[ -n "$WINE" ] || WINE=/usr/lib/wine/wine64
# Wine's own errors stay on (a failure to start says why), its notes on
# what it has not implemented do not.
export WINEPREFIX="$PWD/$WINDOWS_DIR/wine-prefix" WINEDEBUG=fixme-all
# One wine server for the whole run, so that each case does not start its
# own; it and the prefix's helper processes end with the script.
mkdir -p "$WINEPREFIX"
wineserver -p
trap 'wineserver -k 2>/dev/null || true' EXIT
# The first start creates the prefix; a start that fails is tried again.
for try in 1 2 3; do
  "$WINE" "$WINDOWS_DIR/kup.exe" -b >/dev/null 2>&1 && break
  [ "$try" -lt 3 ] || { echo "error: wine cannot start kup.exe" >&2; exit 1; }
done
CASE_LOG=$WINDOWS_DIR/cases.log
run_cases --kup "$WINDOWS_DIR/kup.exe" --launcher "$WINE" --platform windows

step "cross builds passed; cases skipped by nature on a platform:"
grep -h '^SKIP ' "$ARM64_DIR/cases.log" build/cases-Nehalem.log build/cases-qemu64.log "$WINDOWS_DIR/cases.log" \
  || echo "none"
