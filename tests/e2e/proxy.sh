#!/bin/bash
# Validations through a real forward proxy (tinyproxy, started here on loopback), from the panes
# (the installer host with a pre-fill naming the proxy) and from kelvory-activate: http through
# the proxy, https through its CONNECT tunnel, a proxy whose filter refuses the server, one that
# asks for credentials, one that is down. Each ends with its code and, where libcurl knows the
# proxy is at fault, a detail line that says so. Then the shipped examples, each run through
# kelvory-activate against the https simulator and the proxy, their documentation addresses and
# ports rewritten to loopback ones. Usage: proxy.sh BUILD_DIR (exit 77: skipped, for want of
# tinyproxy)
set -uo pipefail
# shellcheck source=scripts/lib.sh
. "$(dirname "$0")/../../scripts/lib.sh"
bin=$1
if ! command -v tinyproxy >/dev/null; then
  echo "SKIPPED: tinyproxy is not installed (scripts/deps.sh installs it)"
  exit 77
fi
work=$(mktemp -d /tmp/kelvory_proxy_XXXXXX)
stop_servers() {
  kl_proxy_stop
  kl_sim_stop
  [ -z "${https_sim:-}" ] || { kill "$https_sim" 2>/dev/null; wait "$https_sim" 2>/dev/null; }
}
trap 'stop_servers; [ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  for f in transcript stderr; do echo "--- $f" >&2; cat "$work/$f" >&2 2>/dev/null; done
  echo "--- install log" >&2; cat /tmp/kelvor_install.log >&2 2>/dev/null
  exit 1
}

kl_tls_make "$work/tls" || fail "no certificates: $(cat "$work/tls/openssl.log")"
read -r -a tls <<<"$kl_tls_options"
# The text example's name is "Demo": its reader keeps a value's first word.
printf '%s' '{"customers": [{"name": "Demo Customer", "id": "1001"},
  {"name": "Demo", "id": "1001"}], "appliances": ["42"]}' >"$work/customers.json"
kl_sim_start "$bin/kelvory-mgmt-sim" "$work/https.out" "$work/https.err" 0 "${tls[@]}" \
  --customers "$work/customers.json" ||
  fail "the https simulator did not start"
https_sim=$kl_sim https_port=$kl_sim_port
kl_sim_start "$bin/kelvory-mgmt-sim" "$work/http.out" "$work/http.err" ||
  fail "the http simulator did not start"
http_port=$kl_sim_port

kl_proxy_start "$work/open" || fail "tinyproxy did not start: $(cat "$work/open/tinyproxy.log")"
open=$kl_proxy_port
# The filter matches host names: a proxy that refuses 127.0.0.1 whatever the port.
printf '127\\.0\\.0\\.1\n' >"$work/filter"
kl_proxy_start "$work/filtering" "Filter \"$work/filter\"" "FilterDefaultDeny No" ||
  fail "the filtering tinyproxy did not start"
filtering=$kl_proxy_port
kl_proxy_start "$work/auth" "BasicAuth kelvory secret" ||
  fail "the authenticating tinyproxy did not start"
auth=$kl_proxy_port
# A port nobody listens on: a proxy that is down.
down=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

# PROTOCOL PROXY-PORT ACTIVATE-EXIT DETAIL: the same validation from kelvory-activate and from
# the panes; DETAIL (a fixed text) is what the install log's "Cannot reach" line must hold.
check() {
  local protocol=$1 proxy=127.0.0.1:$2 code=$3 detail=$4 port
  [ "$protocol" = https ] && port=$https_port || port=$http_port
  local what="$protocol through $proxy (${5:-})"
  local before
  before=$(cat "$work/http.out" "$work/https.out" | grep -c '^connection ')

  rm -f /tmp/kelvor.conf /tmp/kelvor_install.log
  "$bin/kelvory-activate" --customer-name "Demo Customer" --customer-id 1001 \
    --server 127.0.0.1 --protocol "$protocol" --port "$port" --proxy "$proxy" \
    --tool "$bin/InitialValidate" --timeout 60 >"$work/transcript" 2>"$work/stderr"
  status=$?
  [ "$status" = "$code" ] || fail "$what: kelvory-activate exit $status, expected $code"
  if [ "$code" = 0 ] && [ "$protocol" = https ]; then
    # One tunnel, so one connection at the server. (tinyproxy closes a plain-http client's
    # connection after each answer, so over http the server sees one per request; the tool's
    # reuse over a proxy is asserted against the simulator standing in for one.)
    local after
    after=$(cat "$work/http.out" "$work/https.out" | grep -c '^connection ')
    [ $((after - before)) = 1 ] || fail "$what: $((after - before)) connections, not 1"
  elif [ "$code" != 0 ]; then
    grep -qF "Cannot reach the management server -- $detail" /tmp/kelvor_install.log ||
      fail "$what: no detail line \"$detail\""
  fi

  rm -f /tmp/kelvor.conf /tmp/kelvor_install.log
  mkdir -p "$work/pkg"
  printf '%s' "<InstallationData><Customer><Name>Demo Customer</Name><ID>1001</ID></Customer>
<Server><URL>127.0.0.1</URL><Protocol>$protocol</Protocol><Port>$port</Port></Server>
<Proxy><URL>127.0.0.1</URL><Port>$2</Port></Proxy></InstallationData>" \
    >"$work/pkg/InstallationData.xml"
  DISPLAY='' timeout -s KILL 100 "$bin/kelvory-installer" --package "$work/pkg/Kelvory.pkg" \
    --headless >"$work/transcript" 2>"$work/stderr"
  local verdict="result: Validation Succeeded"
  [ "$code" = 0 ] || verdict="result: Validation Failed"
  grep -qxF "$verdict" "$work/transcript" || fail "$what: the panes did not end \"$verdict\""
  [ "$code" = 0 ] ||
    grep -qF "Cannot reach the management server -- $detail" /tmp/kelvor_install.log ||
    fail "$what: the panes' run has no detail line \"$detail\""
  echo "ok: $what"
}

check http "$open" 0 "" "open"
check https "$open" 0 "" "open, CONNECT"
# A plain-http request the proxy answers itself: its status as it came. tinyproxy closes without
# reading the request's body, so the rest of its answer is lost to a reset.
check http "$filtering" 3 "HTTP 403, cut off: " "filtered"
check https "$filtering" 3 "the proxy refused the tunnel to the server (403 to CONNECT): " \
  "filtered"
check http "$auth" 3 "HTTP 407, cut off: " "credentials asked for"
check https "$auth" 3 "the proxy asks for credentials (407 to CONNECT): " "credentials asked for"
check http "$down" 3 "no connection to the proxy: " "down"
check https "$down" 3 "no connection to the proxy: " "down"

# The examples: https on 8443 and a proxy on 3128 at documentation addresses become the https
# simulator and the open proxy on loopback; the key's endpoints are rewritten inside the key and
# the key encoded again (its other fields as they were).
examples=$(dirname "$0")/../../packaging/macos/examples
rewrite() {
  sed -e "s/192\.0\.2\.[0-9]*/127.0.0.1/g" -e "s/8443/$https_port/g" -e "s/8080/$http_port/g" \
    -e "s/3128/$open/g"
}
mkdir -p "$work/examples"
for example in "$examples"/*; do
  name=$(basename "$example")
  case "$name" in
    *-key.xml)
      key=$(sed -n 's|.*<ActivationKey>\(.*\)</ActivationKey>.*|\1|p' "$example")
      key=$(printf '%s' "$key" | base64 -d | rewrite | base64 | tr -d '\n')
      rewrite <"$example" |
        sed "s|<ActivationKey>.*</ActivationKey>|<ActivationKey>$key</ActivationKey>|" \
          >"$work/examples/$name"
      source=(--data) ;;
    *.txt) rewrite <"$example" >"$work/examples/$name"; source=(--text --data) ;;
    *.xml) rewrite <"$example" >"$work/examples/$name"; source=(--data) ;;
    *) rewrite <"$example" >"$work/examples/$name"; source=(--managed-preferences) ;;
  esac
  ! grep -q '192\.0\.2\.' "$work/examples/$name" || fail "$name: a documentation address is left"
  [ "$name" = "${name%-key.xml}" ] ||
    ! printf '%s' "$key" | base64 -d | grep -q '192\.0\.2\.' || fail "$name: in the key"
  rm -f /tmp/kelvor.conf /tmp/kelvor_install.log
  before=$(grep -c '^POST /api/v1/register 200' "$work/https.out")
  "$bin/kelvory-activate" "${source[@]}" "$work/examples/$name" --tool "$bin/InitialValidate" \
    --timeout 60 >"$work/transcript" 2>"$work/stderr"
  status=$?
  [ "$status" = 0 ] || fail "example $name: kelvory-activate exit $status"
  [ "$(grep -c '^POST /api/v1/register 200' "$work/https.out")" = $((before + 1)) ] ||
    fail "example $name: not registered by the https simulator"
  echo "ok: example $name"
done
