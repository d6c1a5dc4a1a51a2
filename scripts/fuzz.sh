#!/usr/bin/env bash
# Builds the fuzz harnesses of fuzz/ natively (clang's libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for SECONDS (default 60), starting from its
# committed seeds in a fresh working corpus. Prints per harness the executions and the edges
# covered: of the functions of the unit's own source files (<unit>.cpp and <unit>.h), and of
# all instrumented code (the JSON library and the standard library included). A crash, a sanitizer report or a broken property fails the run; the input that
# caused it is kept in build/fuzz/artifacts/ and the harness's output in build/fuzz/logs/.
#   scripts/fuzz.sh [SECONDS]
# With CI=true compiler warnings are errors.
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
# SENDARO_BUILD_ROOT lets several working copies of the build live side by side.
build=${SENDARO_BUILD_ROOT:-$root/build}/fuzz
cd "$root"

bash scripts/setup.sh --x64
# The sanitizers' reports and the coverage listing name functions through llvm-symbolizer.
export PATH=/usr/lib/llvm-14/bin:$PATH
warnings=OFF
[ "${CI:-}" = true ] && warnings=ON
cmake -S fuzz -B "$build" -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_COMPILER=clang++-14 \
  -DSENDARO_WARNINGS_AS_ERRORS=$warnings >/dev/null
cmake --build "$build" -j "$(nproc)"

rm -rf "$build/corpus" "$build/artifacts" "$build/logs"
mkdir -p "$build/artifacts" "$build/logs"
failed=()
printf '%-20s %11s %22s %14s\n' unit executions "unit's edges" "all edges"
for harness in "$build"/bin/*_fuzz; do
  unit=$(basename "$harness" _fuzz)
  log="$build/logs/$unit.log"
  mkdir -p "$build/corpus/$unit"
  # New inputs go to the working corpus; the committed seeds are only read.
  if ! "$harness" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -print_coverage=1 -artifact_prefix="$build/artifacts/$unit-" \
      "$build/corpus/$unit" "fuzz/seeds/$unit" >"$log" 2>&1; then
    failed+=("$unit")
  fi
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  edges=$(sed -n 's/^INFO: Loaded [0-9]* modules *(\([0-9]*\) inline 8-bit counters).*/\1/p' "$log" |
          head -1)
  status=$(grep -aE '^#[0-9]+.*cov: ' "$log" | tail -1 || true)
  covered=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$status")
  # Functions defined in the unit's own files, from the coverage listing.
  own=$(grep -aE "^(UN)?COVERED_FUNC: .* [^ ]*/(runner|windows)/([^ ]*/)?$unit\.(cpp|h):[0-9]+\$" "$log" |
        sed -n 's/.* edges: \([0-9]*\)\/\([0-9]*\) .*/\1 \2/p' |
        awk '{c += $1; t += $2} END {if (t) printf "%d/%d %3d%%", c, t, 100 * c / t}' || true)
  printf '%-20s %11s %22s %14s\n' "$unit" "${executions:-?}" "${own:-?}" \
    "${covered:-?}/${edges:-?}"
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: FAILED: ${failed[*]} (logs in $build/logs, inputs in $build/artifacts)" >&2
  for unit in "${failed[@]}"; do
    grep -a -m1 -E 'ERROR: |runtime error|property failed' "$build/logs/$unit.log" >&2 || true
  done
  exit 1
fi
echo "fuzz: all ${seconds}s runs clean"
