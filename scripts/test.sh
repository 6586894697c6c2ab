#!/bin/sh
# Builds (if needed) and runs every test under a virtual X display.
# Usage: scripts/test.sh [--asan]   (--asan: the sanitizer build in build-asan/)
set -eu
cd "$(dirname "$0")/.."
scripts/build.sh "$@"
dir=build
[ "${1:-}" = "--asan" ] && dir=build-asan
cd "$dir"
# Leaks that GNUstep, X11 and fontconfig keep for the process lifetime are suppressed; ours are not.
LSAN_OPTIONS="suppressions=$(cd .. && pwd)/tests/lsan.supp:print_suppressions=0"
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS UBSAN_OPTIONS
# A hung GUI process may ignore SIGTERM; ctest's per-test TIMEOUT guards each test.
xvfb-run -a -s "-screen 0 1024x768x24" ctest --output-on-failure
