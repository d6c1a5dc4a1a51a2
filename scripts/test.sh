#!/usr/bin/env bash
# Sets up, builds x64 and x86, checks the binaries' import and export tables, and runs every
# test under Wine in a fresh prefix. The 32-bit programs are built and checked, not run: this
# kernel cannot execute 32-bit code.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup.sh
bash scripts/build.sh
python3 scripts/check_binaries.py --source "$root" build/x64/bin build/x86/bin

. scripts/wine-session.sh
trap wine_session_stop EXIT
echo "test: starting Wine session"
wine_session_start "$root/build/x64/wineprefix"
ctest --test-dir build/x64 --output-on-failure
