#!/usr/bin/env bash
# A corporate proxy for the proxy road test: Debian's squid on one loopback address, with three
# ports: 3128 opens tunnels to the service's ports, 3129 refuses every request (403), 3130 asks
# for credentials (407). Only squid resolves the service's test host names (its hosts file maps
# them to the signing service double's addresses), so a request reaches the double through
# squid or not at all.
#   corporate_proxy.sh start STATE_DIR ADDRESS NAME=IP...
#   corporate_proxy.sh stop STATE_DIR
set -euo pipefail
command=$1 state=$2

stop() {
  if [ -f "$state/squid.pid.run" ]; then
    local pid
    pid=$(cat "$state/squid.pid.run")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
    rm -f "$state/squid.pid.run"
  fi
}

start() {
  local address=$1
  shift
  stop
  rm -rf "$state"
  mkdir -p "$state"
  local mapping
  for mapping in "$@"; do echo "${mapping#*=} ${mapping%%=*}" >>"$state/hosts"; done
  # A user for the authenticating port; the test never sends it.
  printf 'corporate:%s\n' "$(openssl passwd -apr1 corporate-2026)" >"$state/passwd"
  cat >"$state/squid.conf" <<CONF
http_port $address:3128 name=open
http_port $address:3129 name=refusing
http_port $address:3130 name=authenticating
hosts_file $state/hosts
dns_nameservers 127.0.0.1
pid_filename $state/squid.pid
access_log stdio:$state/access.log
cache_log $state/cache.log
cache_store_log none
cache deny all
coredump_dir $state
shutdown_lifetime 0 seconds
auth_param basic program /usr/lib/squid/basic_ncsa_auth $state/passwd
auth_param basic realm corporate
acl open_port myportname open
acl refusing_port myportname refusing
acl authenticating_port myportname authenticating
acl service_ports port 443 8082
acl authenticated proxy_auth REQUIRED
http_access deny refusing_port
http_access allow authenticating_port authenticated service_ports
http_access deny authenticating_port
http_access allow open_port service_ports
http_access deny all
CONF
  # squid drops root for its own user, which must write the logs.
  if [ "$(id -u)" -eq 0 ]; then chown -R proxy "$state"; fi
  setsid squid -N -f "$state/squid.conf" >"$state/squid.out" 2>&1 </dev/null 9>&- &
  echo $! >"$state/squid.pid.run"
  local waited=0
  until (exec 3<>"/dev/tcp/$address/3128") 2>/dev/null; do
    if ! kill -0 "$(cat "$state/squid.pid.run")" 2>/dev/null || [ $waited -ge 100 ]; then
      echo "corporate proxy: squid did not start" >&2
      cat "$state/squid.out" "$state/cache.log" >&2 2>/dev/null || true
      return 1
    fi
    sleep 0.1
    waited=$((waited + 1))
  done
}

case $command in
  start) shift 2; start "$@" ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop STATE_DIR ..." >&2; exit 2 ;;
esac
