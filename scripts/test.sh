#!/usr/bin/env bash
# Sets up, builds x64 and x86, checks the binaries' import and export tables, and runs every
# test under Wine in a fresh prefix. The x86 tree holds the product and the stand-ins only: it
# is built and checked, never run (this kernel cannot execute 32-bit code). Tests that need the
# signing service double start it through a CTest fixture. Arguments go to ctest, e.g. -R NAME.
#   scripts/test.sh --quick -R NAME   the fast loop: rebuilds the x64 tree and runs in its
#                                     existing prefix, without setup, the x86 build or the check
# With CI=true (set by .ci/run) compiler warnings are errors.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# SENDARO_BUILD_ROOT lets several working copies of the build live side by side.
build_root=${SENDARO_BUILD_ROOT:-$root/build}
cd "$root"

quick=false
if [ "${1:-}" = --quick ]; then
  quick=true
  shift
fi

if $quick; then
  if [ ! -f "$build_root/x64/CMakeCache.txt" ]; then
    echo "test --quick: no x64 build in $build_root yet; run scripts/test.sh once" >&2
    exit 1
  fi
  cmake --build "$build_root/x64" -j "$(nproc)"
else
  warnings=OFF
  [ "${CI:-}" = true ] && warnings=ON
  bash scripts/prepare.sh -DSENDARO_WARNINGS_AS_ERRORS=$warnings
  # Each fuzz harness briefly, from its committed seeds (scripts/fuzz.sh 60 for a longer run).
  bash scripts/fuzz.sh "${SENDARO_FUZZ_SECONDS:-3}"
fi

. scripts/wine-session.sh
trap wine_session_stop EXIT
echo "test: starting a Wine session"
if $quick; then
  wine_session_start "$build_root/x64/wineprefix" keep
else
  wine_session_start "$build_root/x64/wineprefix"
fi
ctest --test-dir "$build_root/x64" --output-on-failure "$@"
