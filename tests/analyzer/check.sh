#!/bin/sh
# Shows that scripts/analyze.sh reports retain/release mistakes: both planted leaks must be
# reported, with the script failing. Usage: tests/analyzer/check.sh
set -u
cd "$(dirname "$0")/../.." || exit 2
out=$(scripts/analyze.sh tests/analyzer/PlantedLeak.m 2>&1)
status=$?
fail() {
  echo "$out"
  echo "FAIL: $1" >&2
  exit 1
}
[ "$status" -eq 1 ] || fail "analyze.sh exited $status, expected 1 (reports found)"
for name in list text; do
  echo "$out" | grep -q "warning: Potential leak of an object stored into '$name' \[osx.cocoa.RetainCount\]" ||
    fail "the leak of '$name' was not reported"
done
echo "PASS: both planted leaks reported"
