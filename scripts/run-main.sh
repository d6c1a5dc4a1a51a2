#!/usr/bin/env bash
# The main job: sets up and builds everything (x64 and x86), then runs Sendaro.exe under Wine
# with a private X display against the local signing service double, driven through its two
# method channels by a script for the stand-in Flutter engine (scripts/main_job.py):
#   set the environment, register the provider, link the citizen account in the sign-in window
#   (a scripted user fills in the login form), list the installed certificates, run the
#   provider self-test (a real remote signature through CNG inside Sendaro.exe), sign data and
#   verify the signature at the double, read the account status, renew the session silently
#   through the hidden browser, list its cookies, destroy the window, and show that no
#   certificate, session key or mapping is left.
# The screen shows one line per build stage (the build's output goes to
# build/main-build.log, whose path is printed; a failing stage is shown in full), then the road
# and its summary; the script, the transcript, the product's logs and screenshots of the
# sign-in window and of the main window stay in build/x64/main-job/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# SENDARO_BUILD_ROOT lets several working copies of the build live side by side.
build_root=${SENDARO_BUILD_ROOT:-$root/build}
cd "$root"

SENDARO_BUILD_LOG="$build_root/main-build.log" bash scripts/prepare.sh
. scripts/wine-session.sh
echo "main: starting the signing service double and a Wine session"
road_session_start "$build_root/x64/wineprefix"
control=$(sed -n 's/^SENDARO_SERVICE_DOUBLE_CONTROL_ADDRESS:[A-Z]*=//p' "$build_root/x64/CMakeCache.txt")
SENDARO_SERVICE_DOUBLE_CONTROL_ADDRESS=${control:-127.0.0.40:8090} \
  /usr/bin/python3 scripts/main_job.py "$build_root/x64" "$build_root/x64/main-job"
