#!/usr/bin/env bash
# Installs what the build needs, builds x64 and x86, and checks the binaries' import and export
# tables. The first step of both the main job and the test run; arguments go to CMake.
# With SENDARO_BUILD_LOG set to a file, each stage prints one line and writes its output there;
# a stage that fails is shown in full.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# SENDARO_BUILD_ROOT lets several working copies of the build live side by side.
build_root=${SENDARO_BUILD_ROOT:-$root/build}
cd "$root"

# stage NAME COMMAND...: runs one stage, quietly when a build log is asked for.
stage() {
  local name=$1
  shift
  if [ -z "${SENDARO_BUILD_LOG:-}" ]; then
    "$@"
    return
  fi
  local part
  part=$(mktemp)
  local started=$SECONDS status=0
  printf '%-34s' "prepare: $name"
  "$@" >"$part" 2>&1 || status=$?
  { echo "===== $name (exit $status)"; cat "$part"; } >>"$SENDARO_BUILD_LOG"
  if [ $status -ne 0 ]; then
    echo "FAILED after $((SECONDS - started)) s; its output:"
    cat "$part"
    rm -f "$part"
    echo "prepare: the whole build output is in $SENDARO_BUILD_LOG"
    return $status
  fi
  rm -f "$part"
  echo "done in $((SECONDS - started)) s"
}

if [ -n "${SENDARO_BUILD_LOG:-}" ]; then
  mkdir -p "$(dirname "$SENDARO_BUILD_LOG")"
  : >"$SENDARO_BUILD_LOG"
  echo "prepare: build output goes to $SENDARO_BUILD_LOG"
fi
stage "packages" bash scripts/setup.sh --x64
# With SENDARO_PREPARE_X86_ROAD=1 (the test run), what the x86 tree's road needs (32-bit Wine, or
# the QEMU guest and its image) is installed while the trees build: nothing built needs it.
if [ "${SENDARO_PREPARE_X86_ROAD:-}" = 1 ]; then
  x86_road_log=$build_root/x86-road.log
  mkdir -p "$build_root"
  bash scripts/setup.sh --x86 >"$x86_road_log" 2>&1 &
  x86_road_pid=$!
  # A failed build stage ends this script: the packages' installation still ends first.
  trap 'wait "$x86_road_pid" 2>/dev/null || true' EXIT
fi
for arch in x64 x86; do
  stage "build $arch" env SENDARO_BUILD_ARCHES=$arch bash scripts/build.sh "$@"
done
stage "binary check" \
  /usr/bin/python3 scripts/check_binaries.py --source "$root" "$build_root/x64/bin" "$build_root/x86/bin"
if [ -n "${x86_road_pid:-}" ]; then
  x86_road_status=0
  wait "$x86_road_pid" || x86_road_status=$?
  if [ $x86_road_status -eq 0 ]; then
    tail -1 "$x86_road_log"
  else
    # The x64 tree's tests need none of it; the x86 tree's run then says what is missing.
    cat "$x86_road_log"
    echo "prepare: the x86 tree's setup failed (exit $x86_road_status); its output is above"
  fi
fi
