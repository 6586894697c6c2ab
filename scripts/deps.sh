#!/bin/sh
# Installs, from Debian 12 packages, everything needed to build, test and run the project.
# The tests start tinyproxy themselves on loopback: tinyproxy-bin is Debian's tinyproxy without
# the system service (the package tinyproxy would start one on port 8888).
set -eu
PACKAGES="cmake make g++ gobjc++ libgnustep-base-dev libgnustep-gui-dev gnustep-back0.29-cairo
  gnustep-make xvfb xauth libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
  nlohmann-json3-dev clang-format valgrind pkg-config libcurl4-openssl-dev libcpp-httplib-dev
  clang libclang-rt-14-dev libplist-utils libplist-dev shellcheck libxml2-utils gnustep-base-runtime
  python3 iproute2 procps openssl tinyproxy-bin
  unifdef perl"
# Nothing to do when all are present (a second run should not need the network).
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
# shellcheck disable=SC2086
$SUDO apt-get install -y --no-install-recommends $missing
