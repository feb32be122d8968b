#!/usr/bin/env bash
# Checks of the package and of the build, run by .ci/run after the Debian
# package is made in BUILD_DIR:
#  - lintian reports no error and no warning on the package;
#  - the packaged kup finds the module of KUP_UNDEFINED's matcher;
#  - a second build with nothing changed compiles and links nothing;
#  - two clones of the commit checked out (HEAD) in different folders, built with the same
#    SOURCE_DATE_EPOCH, give the same kup and the same package, byte for
#    byte; one of them is built where GoogleTest is not found, as the first
#    command of the README must work there.
# Usage: .ci/package_checks.sh BUILD_DIR (from the root of the repository)
set -euo pipefail
build_dir=${1:?usage: .ci/package_checks.sh BUILD_DIR}

fail() { echo "error: $*" >&2; exit 1; }

echo "-- lintian"
package=$(ls "$build_dir"/kup_*.deb)
report=$(lintian "$package" 2>&1 | grep -v 'running with root privileges' || true)
[ -n "$report" ] && echo "$report"
if grep -q '^[EW]: ' <<<"$report"; then
  fail "lintian reports errors or warnings on $package"
fi
echo "lintian: no error and no warning on $package"

echo "-- the packaged kup loads the matcher of KUP_UNDEFINED"
unpacked=$(mktemp -d)
dpkg-deb -x "$package" "$unpacked"
printf 'DOMIAN\n' >"$unpacked/in.txt"
warned=$(KUP_UNDEFINED='[A-Z]+' "$unpacked/usr/bin/kup" "$unpacked/in.txt" 2>&1 >/dev/null || true)
rm -rf "$unpacked"
grep -qF 'KUP warning - undefined macro <DOMIAN>' <<<"$warned" ||
  fail "the packaged kup does not check KUP_UNDEFINED: $warned"
echo "the packaged kup found its module"

echo "-- a build with nothing changed"
rebuilt=$(cmake --build "$build_dir" -j2 | grep -E 'Building|Linking|Stamping|Compressing|Generating' || true)
if [ -n "$rebuilt" ]; then
  echo "$rebuilt"
  fail "a build with nothing changed still built the above"
fi
echo "nothing compiled or linked"

echo "-- reproducible build"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
epoch=$(git log -1 --format=%ct)
revision=$(git rev-parse HEAD)
# Different depths and names, so that paths left in the output show.
clones=("$work/one/kup" "$work/second/folder/kup-copy")
for clone in "${clones[@]}"; do
  git clone -q --no-local --no-checkout . "$clone"
  git -C "$clone" checkout -q --detach "$revision"
done
(cd "${clones[0]}" && export SOURCE_DATE_EPOCH=$epoch &&
  cmake -S . -B build -DKUP_BUILD_TESTS=OFF >/dev/null &&
  cmake --build build -j2 >/dev/null && cd build && cpack -G DEB >/dev/null 2>&1)
# The second clone runs the README's first command where GoogleTest is
# not found: the tests are left out with a notice and kup builds and runs.
(cd "${clones[1]}" && export SOURCE_DATE_EPOCH=$epoch &&
  cmake -S . -B build -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON >configure.log 2>&1 &&
  cmake --build build -j2 >/dev/null && ./build/kup examples/hello.kup >/dev/null &&
  cd build && cpack -G DEB >/dev/null 2>&1)
grep -q 'GoogleTest not found: the unit tests are left out' "${clones[1]}/configure.log" ||
  fail "configuring without GoogleTest gave no notice"
for file in kup kup_*.deb; do
  a=$(ls "${clones[0]}"/build/$file) b=$(ls "${clones[1]}"/build/$file)
  cmp "$a" "$b" || fail "$file differs between two builds of the same sources"
  echo "$(basename "$a"): identical in both builds ($(sha256sum <"$a" | cut -c1-16))"
done
stamp=$(LC_ALL=C date -u -d "@$epoch" '+%b %e %Y %H:%M:%S')
"${clones[0]}/build/kup" -b | grep -qF "BINARY BUILT $stamp" ||
  fail "the build line does not show SOURCE_DATE_EPOCH ($stamp)"
echo "the build line shows SOURCE_DATE_EPOCH: $stamp"
