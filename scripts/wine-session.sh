# Sourced by the test and demo scripts: one fresh Wine prefix and one persistent wineserver
# for a whole run, plus an X display for tests that open top-level windows.
#   wine_session_start PREFIX [keep]   creates the prefix anew (or keeps an existing one) and
#                               starts the server
#   wine_session_stop           stops the server and the X display started here
#   road_session_start PREFIX   the signing service double and a Wine session, both ended
#                               when the calling script exits
# The X display is always a private Xvfb, never the user's own.

wine_session_start() {
  export WINEPREFIX="$1"
  export WINEDEBUG=-all
  export WINEARCH=win64
  # "keep" as second argument reuses a prefix that exists (the fast loop of scripts/test.sh).
  local fresh=true
  if [ "${2:-}" = keep ] && [ -d "$WINEPREFIX/drive_c" ]; then fresh=false; fi
  if $fresh; then
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
  fi
  local display
  for display in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ] || break
  done
  Xvfb ":$display" -nolisten tcp -screen 0 1280x1024x24 >/dev/null 2>&1 &
  WINE_SESSION_XVFB_PID=$!
  export DISPLAY=":$display"
  sleep 0.5
  wineserver -p >/dev/null 2>&1
  # Booted here, not by the first test program: the prefix's services would otherwise inherit
  # that program's output and keep CTest waiting for it to close.
  # The 64-bit loader by path: with Debian's 32-bit Wine installed, "wineboot" goes through the
  # 32-bit loader, which fails at once where the kernel runs no 32-bit code.
  local wine64
  wine64=$(command -v wine64 || echo /usr/lib/wine/wine64)
  if $fresh; then
    "$wine64" wineboot -i >/dev/null 2>&1
  else
    "$wine64" wineboot >/dev/null 2>&1
  fi
  # A crashing program prints its backtrace and exits instead of waiting on a dialog, so its
  # test fails at once.
  "$wine64" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
    >/dev/null 2>&1 || echo "wine session: WARNING: crash dialog not turned off in $WINEPREFIX" >&2
}

wine_session_stop() {
  # Called again by the exit trap after a tree's own stop: a server already gone is no failure.
  if [ -n "${WINEPREFIX:-}" ]; then wineserver -k >/dev/null 2>&1 || true; fi
  if [ -n "${WINE_SESSION_XVFB_PID:-}" ]; then
    kill "$WINE_SESSION_XVFB_PID" 2>/dev/null || true
    wait "$WINE_SESSION_XVFB_PID" 2>/dev/null || true
    WINE_SESSION_XVFB_PID=
  fi
}

# For a run that reaches the signing service double: the double is joined (or started) under
# this script's process id and left when the script exits, whatever way it exits.
road_session_start() {
  local scripts
  scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
  trap "wine_session_stop; bash '$scripts/service-double.sh' stop $$" EXIT
  bash "$scripts/service-double.sh" start $$
  wine_session_start "$1"
}
