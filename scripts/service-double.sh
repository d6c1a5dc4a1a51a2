#!/usr/bin/env bash
# Starts or stops the remote signing service double (test_doubles/signing_service_double).
#   scripts/service-double.sh start [OWNER_PID]   start it, or join the one already running
#   scripts/service-double.sh stop  [OWNER_PID]   leave it; the last user stops it
#   scripts/service-double.sh status
# Several test runs on one machine share one double: its addresses are the build's deployment
# constants. Each run registers under its own process id; a run that died is forgotten.
# Hosts and control address come from the x64 build's CMake cache when there is one.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_root=${SENDARO_BUILD_ROOT:-$root/build}
cache="$build_root/x64/CMakeCache.txt"

cached() {  # cached NAME DEFAULT
  local value=""
  [ -f "$cache" ] && value=$(sed -n "s/^$1:[A-Z]*=//p" "$cache" | head -1)
  echo "${value:-$2}"
}

control=$(cached SENDARO_SERVICE_DOUBLE_CONTROL_ADDRESS 127.0.0.40:8090)
hosts=(
  "citizen-development=$(cached SENDARO_CITIZEN_DEVELOPMENT_HOST 127.0.0.41):8082"
  "professional-development=$(cached SENDARO_PROFESSIONAL_DEVELOPMENT_HOST 127.0.0.42):8082"
  "citizen-production=$(cached SENDARO_CITIZEN_PRODUCTION_HOST 127.0.0.43):443"
  "professional-production=$(cached SENDARO_PROFESSIONAL_PRODUCTION_HOST 127.0.0.44):443"
)
state_dir=/tmp/sendaro-service-double-${control//[:.]/-}
owner=${2:-$PPID}
mkdir -p "$state_dir/users"

healthy() {
  /usr/bin/python3 - "$control" <<'PY' >/dev/null 2>&1
import sys, urllib.request
urllib.request.urlopen("http://%s/health" % sys.argv[1], timeout=2).read()
PY
}

prune_users() {
  local user
  for user in "$state_dir"/users/*; do
    [ -e "$user" ] || continue
    kill -0 "$(basename "$user")" 2>/dev/null || rm -f "$user"
  done
}

start() {
  prune_users
  if ! healthy; then
    local args=(--state-dir "$state_dir" --control "$control") host
    for host in "${hosts[@]}"; do args+=(--host "$host"); done
    setsid /usr/bin/python3 "$root/test_doubles/signing_service_double/signing_service_double.py" \
      "${args[@]}" >"$state_dir/double.log" 2>&1 </dev/null 9>&- &
    echo $! >"$state_dir/pid"
    local waited=0
    until healthy; do
      if ! kill -0 "$(cat "$state_dir/pid")" 2>/dev/null || [ $waited -ge 120 ]; then
        echo "service double: failed to start, see $state_dir/double.log" >&2
        tail -20 "$state_dir/double.log" >&2 || true
        return 1
      fi
      sleep 0.5
      waited=$((waited + 1))
    done
    echo "service double: started (pid $(cat "$state_dir/pid")), control http://$control, ${hosts[*]}"
  else
    echo "service double: already running, control http://$control"
  fi
  touch "$state_dir/users/$owner"
}

stop() {
  rm -f "$state_dir/users/$owner"
  prune_users
  if [ -n "$(ls -A "$state_dir/users")" ]; then
    echo "service double: still used by another run, left running"
    return 0
  fi
  if [ -f "$state_dir/pid" ]; then
    local pid
    pid=$(cat "$state_dir/pid")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 20); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
    rm -f "$state_dir/pid"
    echo "service double: stopped"
  fi
}

exec 9>"$state_dir/lock"
flock 9
case "${1:-}" in
  start) start ;;
  stop) stop ;;
  status) healthy && echo "running, control http://$control" || { echo "not running"; exit 1; } ;;
  *) echo "usage: $0 start|stop|status [OWNER_PID]" >&2; exit 2 ;;
esac
