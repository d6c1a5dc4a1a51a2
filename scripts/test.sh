#!/usr/bin/env bash
# Sets up, builds x64 and x86, checks the binaries' import and export tables, and runs both
# trees' tests under Wine, x64 then x86, each in a fresh prefix of its own. The x86 tree holds
# the test programs a 32-bit host process runs; they run on this host where a 32-bit Windows
# program runs under its Wine (scripts/x86-runs.sh), and elsewhere, or with SENDARO_X86_GUEST=1,
# in a QEMU guest (scripts/x86-guest.sh). Tests that need the signing service double start it
# through a CTest fixture. Arguments go to ctest, e.g. -R NAME.
#   scripts/test.sh --quick [--arch x86] -R NAME   the fast loop: rebuilds one tree (x64 unless
#                                     told) and runs in its existing prefix, without setup, the
#                                     other tree or the check
# With CI=true (set by .ci/run) compiler warnings are errors. The closing lines say where the
# x86 tree ran and what was not checked.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# SENDARO_BUILD_ROOT lets several working copies of the build live side by side.
build_root=${SENDARO_BUILD_ROOT:-$root/build}
cd "$root"

quick=false
arches=(x64 x86)
if [ "${1:-}" = --quick ]; then
  quick=true
  arches=(x64)
  shift
  if [ "${1:-}" = --arch ]; then
    arches=("${2:?--arch x64 or x86}")
    shift 2
  fi
fi

if $quick; then
  if [ ! -f "$build_root/${arches[0]}/CMakeCache.txt" ]; then
    echo "test --quick: no ${arches[0]} build in $build_root yet; run scripts/test.sh once" >&2
    exit 1
  fi
  cmake --build "$build_root/${arches[0]}" -j "$(nproc)"
else
  warnings=OFF
  [ "${CI:-}" = true ] && warnings=ON
  SENDARO_PREPARE_X86_ROAD=1 bash scripts/prepare.sh -DSENDARO_WARNINGS_AS_ERRORS=$warnings
  # Each fuzz harness briefly, from its committed seeds (scripts/fuzz.sh 60 for a longer run).
  bash scripts/fuzz.sh "${SENDARO_FUZZ_SECONDS:-3}"
fi

. scripts/wine-session.sh
trap wine_session_stop EXIT

# What a test could not check here: one line each, appended by the tests (the installer test's
# 32-bit signature), printed at the end.
export SENDARO_NOT_CHECKED=$build_root/not-checked.txt
: >"$SENDARO_NOT_CHECKED"

# The x86 tree's road, asked in the first Wine session of the run (32-bit programs run in the
# same kind of 64-bit prefix). SENDARO_X86_RUNS tells the x64 tree's installer test.
x86_road=guest
x86_why="SENDARO_X86_GUEST=1 asks for it"
x86_decided=false
decide_x86_road() {
  x86_decided=true
  if [ "${SENDARO_X86_GUEST:-}" != 1 ]; then
    if x86_why=$(bash scripts/x86-runs.sh "$build_root"); then x86_road=host; fi
  fi
  if [ $x86_road = host ]; then
    export SENDARO_X86_RUNS=yes
    echo "test: x86 tree: on this host: $x86_why"
  else
    export SENDARO_X86_RUNS=no
    echo "test: x86 tree: in a QEMU guest: $x86_why"
  fi
}

# run_tree ARCH CTEST_ARGS...: one tree's tests in a Wine session of its own.
run_tree() {
  local arch=$1
  shift
  if ! ctest --test-dir "$build_root/$arch" -N "$@" | grep '^Total Tests: [1-9]' >/dev/null; then
    echo "test: $arch: no test selected"
    return 0
  fi
  if [ "$arch" = x86 ] && $x86_decided && [ $x86_road = guest ]; then
    bash scripts/setup.sh --guest
    bash scripts/x86-guest.sh run "$build_root" "$@"
    return
  fi
  echo "test: $arch: starting a Wine session"
  if $quick; then
    wine_session_start "$build_root/$arch/wineprefix" keep
  else
    wine_session_start "$build_root/$arch/wineprefix"
  fi
  if ! $x86_decided; then
    decide_x86_road
    if [ "$arch" = x86 ] && [ $x86_road = guest ]; then
      wine_session_stop
      run_tree "$arch" "$@"
      return
    fi
  fi
  local status=0
  ctest --test-dir "$build_root/$arch" --output-on-failure "$@" || status=$?
  wine_session_stop
  return $status
}

failed=()
for arch in "${arches[@]}"; do
  run_tree "$arch" "$@" || failed+=("$arch")
done
if [[ " ${arches[*]} " = *" x86 "* ]] && $x86_decided; then
  [ $x86_road = host ] && where="on this host" || where="in a QEMU guest"
  echo "test: x86 tree $where: $x86_why"
fi
while read -r line; do
  echo "test: NOT CHECKED: $line"
done <"$SENDARO_NOT_CHECKED"
if [ ${#failed[@]} -gt 0 ]; then
  echo "test: tests failed in ${failed[*]}"
  exit 1
fi
