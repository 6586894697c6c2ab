#!/bin/bash
# The whole installation on this machine: starts the management server simulator on loopback,
# lays out a demo package folder with an InstallationData.xml beside the package, runs the
# installer host through the demo script (its window shows while it runs when there is a
# display), prints the transcript and /tmp/kelvor.conf, and stops the simulator. The server
# speaks https with a certificate from a certificate authority made for the run, which the
# validation tool is given through KELVORY_CA_FILE.
# Usage: scripts/demo.sh [--interactive] [--http] [--language en|de|fr|es|ja]
#   --interactive  the window for a person, real alerts
#   --http         the server speaks plain http, as before https
#   --language     the panes in that language, as on a Mac set to it
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
build=$(pwd)/build
demo=$build/demo
mkdir -p "$demo"
interactive=no protocol=https
language=()
usage="usage: scripts/demo.sh [--interactive] [--http] [--language en|de|fr|es|ja]"
while [ $# -gt 0 ]; do
  case "$1" in
    --interactive) interactive=yes ;;
    --http) protocol=http ;;
    --language)
      [ $# -ge 2 ] || { echo "$usage" >&2; exit 2; }
      language=(--language "$2")
      shift
      ;;
    *) echo "$usage" >&2; exit 2 ;;
  esac
  shift
done

tls=()
if [ "$protocol" = https ]; then
  rm -rf "$demo/tls"
  kl_tls_make "$demo/tls" || { cat "$demo/tls/openssl.log" >&2; exit 1; }
  read -r -a tls <<<"$kl_tls_options"
fi
trap kl_sim_stop EXIT
kl_sim_start "$build/kelvory-mgmt-sim" "$demo/sim.out" "$demo/sim.err" 0 "${tls[@]}" ||
  { echo "the simulator did not start" >&2; cat "$demo/sim.err" >&2; exit 1; }
port=$kl_sim_port
echo "Management server simulator on $protocol://127.0.0.1:$port"

cat >"$demo/InstallationData.xml" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<InstallationData>
  <Customer>
    <Name>Demo Customer</Name>
    <ID>1001</ID>
  </Customer>
  <Server>
    <URL>127.0.0.1</URL>
    <Protocol>$protocol</Protocol>
    <Port>$port</Port>
  </Server>
</InstallationData>
XML
echo "Demo package: $demo/Kelvory.pkg (InstallationData.xml beside it)"

if [ "$interactive" = yes ]; then
  "$build/kelvory-installer" --package "$demo/Kelvory.pkg" "${language[@]}"
  exit
fi
echo "--- installer transcript"
status=0
timeout -s KILL 150 "$build/kelvory-installer" --package "$demo/Kelvory.pkg" "${language[@]}" \
  --script scripts/demo.script 2>"$demo/console.log" || status=$?
echo "--- /tmp/kelvor.conf"
cat /tmp/kelvor.conf
echo "--- (console lines in $demo/console.log, install log in /tmp/kelvor_install.log)"
# What the server saw: how it was reached, and the certificate authority that vouched for it.
connections=$(grep -c '^connection [0-9]* accepted$' "$demo/sim.out" || true)
handshakes=$(grep -c '^TLS handshake failed' "$demo/sim.out" || true)
if [ "$protocol" = https ]; then
  echo "The server was reached over https ($connections connection(s), $handshakes failed" \
    "handshake(s)); its certificate was trusted through the certificate authority" \
    "$KELVORY_CA_FILE ($(openssl x509 -in "$KELVORY_CA_FILE" -noout -subject))."
else
  echo "The server was reached over plain http ($connections connection(s))."
fi
exit $status
