#!/bin/bash
# Measures how long `kelvory-keytool doctor` takes when the resolver never answers: in a private
# mount and network namespace (needs root) whose /etc/resolv.conf names 127.0.0.1, where a UDP
# socket (python3) takes the queries and answers none. The names are *.invalid; nothing leaves
# the namespace. Prints the wall time of each run (it asserts nothing).
#   1. doctor --key with three host names (no probe: the default 5-second limit)
#   2. doctor --data with five host names, --probe --probe-timeout 1
#   3. the same five names without --probe
# Usage: bench/doctor-lookups.sh [BUILD_DIR]   (default build)
# Environment: KEYTOOL (the tool to measure; default BUILD_DIR/kelvory-keytool).
set -uo pipefail
cd "$(dirname "$0")/.." || exit 2
. scripts/lib.sh
kl_private_exec net "$0" "$@"
build=${1:-build}
keytool=${KEYTOOL:-$build/kelvory-keytool}
[ -x "$keytool" ] || { echo "doctor-lookups: $keytool is not built" >&2; exit 2; }
# Never the machine's /etc/resolv.conf or /tmp, below.
kl_private_setup lo tmp || exit 2
work=$(mktemp -d /tmp/kl_lookups.XXXXXX)
echo "nameserver 127.0.0.1" >"$work/resolv.conf"
mount --bind "$work/resolv.conf" /etc/resolv.conf
python3 -c 'import socket, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("127.0.0.1", 53))
time.sleep(300)' &
silent=$!
trap 'kill $silent 2>/dev/null' EXIT
sleep 0.5

# (Not `encode`, which asks the resolver about each name.)
key=$(printf '%s' "http://a.invalid:8080,http://b.invalid:8080,http://c.invalid:8080|42|1|" | base64 -w0)
printf '<D><Customer><ID>7</ID><Name>A</Name></Customer><Server><URL>%s</URL><Port>80</Port></Server></D>' \
  "a.invalid,b.invalid,c.invalid,d.invalid,e.invalid" >"$work/five.xml"

timed() {  # LABEL ARGS...
  local label=$1 started=$EPOCHREALTIME code=0
  shift
  timeout -s KILL 300 "$keytool" doctor "$@" >"$work/out" 2>&1 || code=$?
  local ended=$EPOCHREALTIME
  printf '%s: %d ms, exit %d; %s\n' "$label" $(((${ended/./} - ${started/./}) / 1000)) "$code" \
    "$(grep -m1 -o 'resolves: [^;]*' "$work/out" | head -1)"
}
timed "doctor --key, 3 names" --key "$key"
timed "doctor --data, 5 names, --probe --probe-timeout 1" --probe --probe-timeout 1 \
  --data "$work/five.xml"
timed "doctor --data, 5 names" --data "$work/five.xml"
