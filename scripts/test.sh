#!/bin/sh
# Builds (if needed) and runs every test under a virtual X display.
# Usage: scripts/test.sh [--asan]   (--asan: the sanitizer build in build-asan/)
set -eu
cd "$(dirname "$0")/.."
scripts/build.sh "$@"
dir=build
[ "${1:-}" = "--asan" ] && dir=build-asan
cd "$dir"
# A hung GUI process may ignore SIGTERM; ctest's per-test TIMEOUT guards each test.
xvfb-run -a -s "-screen 0 1024x768x24" ctest --output-on-failure
