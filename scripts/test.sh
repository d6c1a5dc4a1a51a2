#!/usr/bin/env bash
# Sets up, builds x64 and x86, checks the binaries' import and export tables, and runs every
# test under Wine in a fresh prefix. The 32-bit programs are built and checked, not run: this
# kernel cannot execute 32-bit code. Arguments go to ctest, e.g. -R NAME to run some tests only.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# SENDARO_BUILD_ROOT lets several working copies of the build live side by side.
build_root=${SENDARO_BUILD_ROOT:-$root/build}
cd "$root"

bash scripts/prepare.sh
. scripts/wine-session.sh
echo "test: starting the signing service double and a Wine session"
road_session_start "$build_root/x64/wineprefix"
ctest --test-dir "$build_root/x64" --output-on-failure "$@"
