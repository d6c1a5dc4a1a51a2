#!/usr/bin/env bash
# Sets up, builds x64 and x86, checks the binaries' import and export tables, and runs every
# test under Wine in a fresh prefix. The 32-bit programs are built and checked, not run: this
# kernel cannot execute 32-bit code.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# SENDARO_BUILD_ROOT lets several working copies of the build live side by side.
build_root=${SENDARO_BUILD_ROOT:-$root/build}
cd "$root"

bash scripts/setup.sh
bash scripts/build.sh
python3 scripts/check_binaries.py --source "$root" "$build_root/x64/bin" "$build_root/x86/bin"

. scripts/wine-session.sh
trap 'wine_session_stop; bash scripts/service-double.sh stop $$' EXIT
bash scripts/service-double.sh start $$
echo "test: starting Wine session"
wine_session_start "$build_root/x64/wineprefix"
ctest --test-dir "$build_root/x64" --output-on-failure
