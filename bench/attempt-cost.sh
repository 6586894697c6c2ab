#!/bin/bash
# What each validation attempt costs through the real installer host, with a no-op tool that
# exits 10 (a failed connection), in a private /tmp (root):
#  - time: a headless run with 100 server addresses against one with 1, per extra attempt,
#    against a bare posix_spawn + waitpid of the same tool in the same run (medians of 5);
#  - memory: peak RSS after 1,000 tries (back, continue, wait) against after 100.
# Usage: bench/attempt-cost.sh [--time-only]
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
kl_private_exec net "$0" "$@"
kl_private_setup tmp
build=$(pwd)/build
work=$(mktemp -d /var/tmp/kl_attempt.XXXXXX)
trap 'rm -rf "$work"' EXIT
cp -R "$build/Kelvory.bundle" "$work/"
printf '#!/bin/sh\nexit 10\n' >"$work/Kelvory.bundle/Resources/InitialValidate"
for n in 1 100; do
  mkdir -p "$work/p$n"
  urls=$(printf '1,%.0s' $(seq $n))
  echo "<r><Customer><ID>1</ID><Name>x</Name></Customer><Server><URL>${urls%,}</URL></Server></r>" \
    >"$work/p$n/InstallationData.xml"
done
host() {  # PACKAGE-DIR [OPTIONS...]
  local dir=$1
  shift
  "$build/kelvory-installer" --plugin "$work/Kelvory.bundle" --package "$work/$dir/Kelvory.pkg" \
    "$@" >/dev/null 2>&1 || true
}
seconds() { local s; s=$(date +%s%N); "$@"; echo $((($(date +%s%N) - s) / 1000)); }
median() { sort -n | sed -n 3p; }
one=$(for _ in 1 2 3 4 5; do seconds host p1 --headless; done | median)
hundred=$(for _ in 1 2 3 4 5; do seconds host p100 --headless; done | median)
bare=$(for _ in 1 2 3 4 5; do python3 -c "
import os, time
tool = '$work/Kelvory.bundle/Resources/InitialValidate'
t = time.perf_counter()
for _ in range(99):
    os.waitpid(os.posix_spawn(tool, [tool, '-s', '1'], os.environ), 0)
print(int((time.perf_counter() - t) / 99 * 1e6))"; done | median)
attempt=$(((hundred - one) / 99))
echo "per attempt through the host: $attempt us; bare spawn: $bare us;" \
  "ratio $(python3 -c "print(round($attempt / $bare, 2))")"
[ "${1:-}" = --time-only ] && exit 0
for n in 100 1000; do
  { echo wait; for _ in $(seq $n); do printf 'back\ncontinue\nwait\n'; done; } >"$work/s$n"
  /usr/bin/time -f %M -o "$work/rss$n" "$build/kelvory-installer" --plugin "$work/Kelvory.bundle" \
    --package "$work/p1/Kelvory.pkg" --script "$work/s$n" >/dev/null 2>&1 || true
done
# time(1) puts "Command exited with non-zero status 1" (a failed verdict) above the figure.
rss() { tail -n 1 "$work/rss$1"; }
echo "peak RSS after 100 tries: $(rss 100) KB; after 1000: $(rss 1000) KB;" \
  "growth $(($(rss 1000) - $(rss 100))) KB"
