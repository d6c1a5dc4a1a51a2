#!/usr/bin/env bash
# Runs the signing-road benchmark (not a test) under Wine with the service double started:
#   SENDARO_BUILD_ROOT=... bash benchmarks/signing_road/run_benchmark.sh [threads|leaks|latency|leakparts|all]
# BENCHMARK_RUNS=N runs it N times in the same session (for medians side by side);
# BENCHMARK_BIN=DIR runs the program kept in DIR (a copy of an earlier build) without building.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build_root=${SENDARO_BUILD_ROOT:-$root/build}
bin=${BENCHMARK_BIN:-}
cd "$root"
if [ -z "$bin" ]; then
  cmake --build "$build_root/x64" -j2 --target signing_road_benchmark >/dev/null
  bin=$build_root/x64/bin
fi
. scripts/wine-session.sh
road_session_start "$build_root/x64/wineprefix"
for run in $(seq 1 "${BENCHMARK_RUNS:-1}"); do
  "$build_root/x64/wine-run" "$bin/signing_road_benchmark.exe" "${1:-all}"
done
