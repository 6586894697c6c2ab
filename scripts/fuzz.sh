#!/bin/sh
# Builds the libFuzzer targets (fuzz/) with clang, AddressSanitizer and UndefinedBehaviorSanitizer,
# and runs each for a given time, starting from its seed corpus in fuzz/corpus/.
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]   (default: 30 seconds, every target)
# New inputs that add coverage go to build-fuzz/corpus/TARGET (the seeds are never changed);
# a crash leaves its input in build-fuzz/ and fails the script. KL_JOBS: build jobs (default 2).
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-30}
[ $# -gt 0 ] && shift
[ $# -gt 0 ] || set -- fuzz_base64 fuzz_split fuzz_endpoint fuzz_keydecode fuzz_xml fuzz_text \
  fuzz_script fuzz_config fuzz_plist
dir=build-fuzz
cmake --preset fuzz >/dev/null  # build-fuzz/, clang with the sanitizers (CMakePresets.json)
cmake --build "$dir" -j"${KL_JOBS:-2}" --target "$@" >/dev/null
# GNUstep keeps some allocations for the process lifetime; ours are not suppressed.
LSAN_OPTIONS="suppressions=$(pwd)/tests/lsan.supp:print_suppressions=0"
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS UBSAN_OPTIONS
log=$(mktemp)
trap 'rm -f "$log"' EXIT
for target in "$@"; do
  seeds=fuzz/corpus/${target#fuzz_}
  mkdir -p "$dir/corpus/$target"
  echo "== $target: $seconds s"
  status=0
  (cd "$dir" && "fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$target-" "corpus/$target" "../$seeds") >"$log" 2>&1 || status=$?
  grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)|^#[0-9]+ +DONE' "$log" || true
  if [ "$status" -ne 0 ]; then
    tail -n 40 "$log"
    echo "$target: FAILED (exit $status; the input is in $dir/)" >&2
    exit 1
  fi
done
