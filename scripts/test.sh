#!/bin/sh
# Builds (if needed) and runs every test under a virtual X display of its own.
# Usage: scripts/test.sh [--asan | --tsan]
#   --asan  the whole suite again under AddressSanitizer + UndefinedBehaviorSanitizer
#   --tsan  the validation tests (background thread and main-thread hand-off) under
#           ThreadSanitizer
# The tests use the fixed paths /tmp/kelvor.conf, /tmp/kelvor_install.log and
# /var/run/kelvory-activate.lock, loopback ports and an X display. So that two runs on one
# machine cannot disturb each other, the suite runs in a mount namespace with a private /tmp and
# /run (and a network namespace of its own where the system allows), and its Xvfb takes a display number that no other server holds.
set -eu
cd "$(dirname "$0")/.."
. scripts/lib.sh
if [ -z "${KL_PRIVATE:-}" ]; then
  scripts/build.sh "$@"
  # A mount and network namespace, else a mount namespace alone (exec: does not return).
  kl_private_exec any "$0" "$@" || {
    echo "test.sh: cannot make a private /tmp here (needs root or user namespaces): running" \
      "against the machine's /tmp; do not run two suites at once" >&2
    KL_PRIVATE=none
  }
fi
# /run too: root's activation lock lives there (/var/run/kelvory-activate.lock).
kl_private_setup lo tmp run

dir=build
filter=""
case "${1:-}" in
  --asan) dir=build-asan ;;
  # Not the tool's launch (LaunchValidation): under ThreadSanitizer's fork the waiter does not
  # end what the tool leaves behind in time; the normal and ASan runs check it.
  --tsan) dir=build-tsan; filter="-R ^validation_test\. -E LaunchValidation" ;;
esac
root=$(pwd)
# Leaks that GNUstep, X11 and fontconfig keep for the process lifetime are suppressed; ours are not.
LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
TSAN_OPTIONS="suppressions=$root/tests/tsan.supp:halt_on_error=1"
export LSAN_OPTIONS UBSAN_OPTIONS TSAN_OPTIONS

# The X server picks the first display number it can listen on and writes it to fd 3.
fifo=$(mktemp -u /tmp/kl_display.XXXXXX)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" 2>/dev/null &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -f "$fifo"' EXIT INT TERM
read -r display <"$fifo"
DISPLAY=":$display"
export DISPLAY
cd "$dir"
# A hung GUI process may ignore SIGTERM; ctest's per-test TIMEOUT guards each test.
# shellcheck disable=SC2086
ctest --output-on-failure $filter
