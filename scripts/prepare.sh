#!/usr/bin/env bash
# Installs what the build needs, builds x64 and x86, and checks the binaries' import and export
# tables. The first step of both the main job and the test run; arguments go to CMake.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# SENDARO_BUILD_ROOT lets several working copies of the build live side by side.
build_root=${SENDARO_BUILD_ROOT:-$root/build}
cd "$root"

bash scripts/setup.sh
bash scripts/build.sh "$@"
/usr/bin/python3 scripts/check_binaries.py --source "$root" "$build_root/x64/bin" "$build_root/x86/bin"
