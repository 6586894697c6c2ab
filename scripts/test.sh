#!/bin/sh
# Builds (if needed) and runs every test under a virtual X display.
# Usage: scripts/test.sh [--asan | --tsan]
#   --asan  the whole suite again under AddressSanitizer + UndefinedBehaviorSanitizer
#   --tsan  the validation tests (background thread and main-thread hand-off) under
#           ThreadSanitizer
set -eu
cd "$(dirname "$0")/.."
scripts/build.sh "$@"
dir=build
filter=""
case "${1:-}" in
  --asan) dir=build-asan ;;
  --tsan) dir=build-tsan; filter="-R ^validation_test\." ;;
esac
root=$(pwd)
cd "$dir"
# Leaks that GNUstep, X11 and fontconfig keep for the process lifetime are suppressed; ours are not.
LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
TSAN_OPTIONS="suppressions=$root/tests/tsan.supp:halt_on_error=1"
export LSAN_OPTIONS UBSAN_OPTIONS TSAN_OPTIONS
# A hung GUI process may ignore SIGTERM; ctest's per-test TIMEOUT guards each test.
# shellcheck disable=SC2086
xvfb-run -a -s "-screen 0 1024x768x24" ctest --output-on-failure $filter
