#!/usr/bin/env bash
# The main job: sets up, builds every Windows target for x64 and x86, and lists what was built.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# SENDARO_BUILD_ROOT lets several working copies of the build live side by side.
build_root=${SENDARO_BUILD_ROOT:-$root/build}
cd "$root"

bash scripts/setup.sh
bash scripts/build.sh
python3 scripts/check_binaries.py --source "$root" "$build_root/x64/bin" "$build_root/x86/bin"

echo
echo "Built (x64 in $build_root/x64/bin, x86 in $build_root/x86/bin):"
for folder in "$build_root/x64/bin" "$build_root/x86/bin"; do
  for binary in "$folder"/*.dll "$folder"/*.exe; do
    [ -e "$binary" ] || continue
    printf '  %-40s %8d bytes\n' "$binary" "$(stat -c %s "$binary")"
  done
done
