#!/usr/bin/env bash
# Runs the provider benchmark under Wine: generates 500 certificates sharing one key, starts a
# Wine session on a prefix of its own and runs murako_ksp_benchmark, built first in the x64 tree.
#   SENDARO_BUILD_ROOT=/path/to/build bash benchmarks/provider/run_benchmark.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build_root=${SENDARO_BUILD_ROOT:-$root/build}
build="$build_root/x64"
certificates="$build/ksp_benchmark_certificates"

cmake --build "$build" -j2 --target murako_ksp_benchmark >/dev/null
rm -rf "$certificates"
python3 "$root/tests/ksp/fixtures/generate_fixtures.py" --bench 500 "$certificates"

cd "$root"
. scripts/wine-session.sh
trap wine_session_stop EXIT
wine_session_start "$build/ksp_benchmark_prefix"
"$build/wine-run" "$build/ksp_tests/murako_ksp_benchmark.exe" "Z:${certificates//\//\\}"
