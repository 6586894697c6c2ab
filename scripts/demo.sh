#!/bin/bash
# The whole installation on this machine: starts the management server simulator on loopback,
# lays out a demo package folder with an InstallationData.xml beside the package, runs the
# installer host through the demo script (its window shows while it runs when there is a
# display), prints the transcript and /tmp/kelvor.conf, and stops the simulator.
# Usage: scripts/demo.sh [--interactive]   (--interactive: the window for a person, real alerts)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
build=$(pwd)/build
demo=$build/demo
mkdir -p "$demo"

trap kl_sim_stop EXIT
kl_sim_start "$build/kelvory-mgmt-sim" "$demo/sim.out" "$demo/sim.err" ||
  { echo "the simulator did not start" >&2; exit 1; }
port=$kl_sim_port
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
