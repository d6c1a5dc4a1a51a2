#!/usr/bin/env bash
# Runs the signing-road benchmark (not a test) under Wine with the service double started:
#   SENDARO_BUILD_ROOT=... bash benchmarks/signing_road/run_benchmark.sh [threads|leaks|latency|leakparts|all]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build_root=${SENDARO_BUILD_ROOT:-$root/build}
cd "$root"
cmake --build "$build_root/x64" -j2 --target signing_road_benchmark >/dev/null
. scripts/wine-session.sh
road_session_start "$build_root/x64/wineprefix"
"$build_root/x64/wine-run" "$build_root/x64/bin/signing_road_benchmark.exe" "${1:-all}"
