#!/usr/bin/env bash
# Runs the signing-road benchmark (not a test) under Wine with the service double started:
#   SENDARO_BUILD_ROOT=... bash benchmarks/signing_road/run_benchmark.sh [threads|leaks|latency|leakparts|all]
# BENCHMARK_RUNS=N runs it N times in the same session (for medians side by side);
# BENCHMARK_BIN=DIR runs the x64 program kept in DIR (a copy of an earlier build) without building.
# BENCHMARK_ARCH="x64 x86" says which builds run, each in a fresh prefix of its own: by default
# x64, and for "latency" both, with their ratios printed side by side at the end. The x86 build
# runs where a 32-bit Windows program runs under this host's Wine (scripts/x86-runs.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build_root=${SENDARO_BUILD_ROOT:-$root/build}
mode=${1:-all}
arches=${BENCHMARK_ARCH:-x64}
[ "$mode" = latency ] && arches=${BENCHMARK_ARCH:-x64 x86}
cd "$root"
. scripts/wine-session.sh
trap wine_session_stop EXIT
ratios=()
for arch in $arches; do
  bin=$build_root/$arch/bin
  if [ "$arch" = x64 ] && [ -n "${BENCHMARK_BIN:-}" ]; then
    bin=$BENCHMARK_BIN
  elif ! cmake --build "$build_root/$arch" -j2 --target signing_road_benchmark wine_probe >/dev/null
  then
    echo "benchmark: $arch NOT RUN: its build in $build_root/$arch failed or is missing"
    ratios+=("$arch not run")
    continue
  fi
  if [ -z "${road_started:-}" ]; then
    road_session_start "$build_root/$arch/wineprefix"
    road_started=1
  else
    wine_session_stop
    wine_session_start "$build_root/$arch/wineprefix"
  fi
  if [ "$arch" = x86 ] && ! why=$(bash scripts/x86-runs.sh "$build_root"); then
    echo "benchmark: x86 NOT RUN: $why"
    ratios+=("x86 not run")
    continue
  fi
  echo "benchmark: $arch"
  for run in $(seq 1 "${BENCHMARK_RUNS:-1}"); do
    "$build_root/$arch/wine-run" "$bin/signing_road_benchmark.exe" "$mode" |
      tee "$build_root/$arch/signing_road_benchmark.out"
  done
  # The program's lines end in CR LF.
  ratio=$(tr -d '\r' <"$build_root/$arch/signing_road_benchmark.out" |
    sed -n 's/^latency over .*, ratio \([0-9.]*\) (means.*medians.*ratio \([0-9.]*\)$/\1 (medians \2)/p' |
    tail -1)
  ratios+=("$arch ${ratio:-none}")
done
if [ "$mode" = latency ] || [ "$mode" = all ]; then
  printf 'latency ratio provider->bridge->double / bare POST: %s\n' "$(IFS=';'; echo "${ratios[*]}")"
fi
