#!/usr/bin/env bash
# Runs the soak benchmark (not a test) under Wine with the service double started: Sendaro.exe
# signed in through the sign-in window renews its session every couple of seconds while a
# separate signing program signs through CNG without a pause (benchmarks/soak/soak.py).
#   SENDARO_BUILD_ROOT=... bash benchmarks/soak/run_benchmark.sh
# SOAK_RENEWALS, SOAK_SIGNER_THREADS: see soak.py. Figures and logs stay in build/x64/soak/.
# Where a 32-bit Windows program runs under this host's Wine, a 32-bit signer of the x86 build signs beside the x64 one.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build_root=${SENDARO_BUILD_ROOT:-$root/build}
cd "$root"
cmake --build "$build_root/x64" -j2 --target soak_signer session_probe Sendaro flutter_windows \
  system_tray_plugin WebView2Loader murako_ksp murako_sign_bridge cng_router_ncrypt >/dev/null
. scripts/wine-session.sh
road_session_start "$build_root/x64/wineprefix"
if [ -z "${SOAK_X86_SIGNER:-}" ]; then
  if ! cmake --build "$build_root/x86" -j2 --target soak_signer murako_ksp murako_sign_bridge \
      cng_router_ncrypt wine_probe >/dev/null 2>&1; then
    echo "soak: x86 signer NOT RUN: the x86 build in $build_root/x86 failed or is missing"
  elif ! why=$(bash scripts/x86-runs.sh "$build_root"); then
    echo "soak: x86 signer NOT RUN: $why"
  else
    export SOAK_X86_SIGNER=$build_root/x86/bin/soak_signer.exe
    # The 32-bit loader itself: it runs in the session's (x64) prefix beside Sendaro.
    export SOAK_X86_LAUNCHER=/usr/lib/wine/wine
  fi
fi
control=$(sed -n 's/^SENDARO_SERVICE_DOUBLE_CONTROL_ADDRESS:[A-Z]*=//p' "$build_root/x64/CMakeCache.txt")
SENDARO_SERVICE_DOUBLE_CONTROL_ADDRESS=${control:-127.0.0.40:8090} \
  /usr/bin/python3 benchmarks/soak/soak.py "$build_root/x64"
