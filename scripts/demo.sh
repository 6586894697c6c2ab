#!/bin/bash
# The whole installation on this machine: starts the management server simulator on loopback,
# lays out a demo package folder with an InstallationData.xml beside the package, runs the
# installer host through the demo script (its window shows while it runs when there is a
# display), prints the transcript and /tmp/kelvor.conf, and stops the simulator.
# Usage: scripts/demo.sh [--interactive]   (--interactive: the window for a person, real alerts)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(pwd)/build
demo=$build/demo
mkdir -p "$demo"

"$build/kelvory-mgmt-sim" --port 0 >"$demo/sim.out" 2>"$demo/sim.err" &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -s "$demo/sim.out" ] && break; sleep 0.05; done
port=$(sed -n '1s/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$demo/sim.out")
[ -n "$port" ] || { echo "the simulator did not start" >&2; exit 1; }
echo "Management server simulator on 127.0.0.1:$port"

cat >"$demo/InstallationData.xml" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<InstallationData>
  <Customer>
    <Name>Demo Customer</Name>
    <ID>1001</ID>
  </Customer>
  <Server>
    <URL>127.0.0.1</URL>
    <Protocol>http</Protocol>
    <Port>$port</Port>
  </Server>
</InstallationData>
XML
echo "Demo package: $demo/Kelvory.pkg (InstallationData.xml beside it)"

if [ "${1:-}" = "--interactive" ]; then
  "$build/kelvory-installer" --package "$demo/Kelvory.pkg"
  exit
fi
echo "--- installer transcript"
status=0
timeout -s KILL 150 "$build/kelvory-installer" --package "$demo/Kelvory.pkg" \
  --script scripts/demo.script 2>"$demo/console.log" || status=$?
echo "--- /tmp/kelvor.conf"
cat /tmp/kelvor.conf
echo "--- (console lines in $demo/console.log, install log in /tmp/kelvor_install.log)"
exit $status
