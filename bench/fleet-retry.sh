#!/bin/bash
# A fleet waiting for a server that comes up late: RUNS `kelvory-activate --retry` start at once,
# each in a private /tmp (its lock and configuration live there), while nothing listens; the
# simulator starts DELAY seconds later on a fixed port of 127.0.0.1. All of it runs in a network
# namespace of its own, so the kernel's TCP counters (sampled every 0.1 s) count this fleet's
# connections only. Prints, for the shipped binary (pauses drawn at random below their bound) and
# for a copy built without the jitter (every pause at its bound; the bench target
# kelvory-activate-nojitter): how many activated (exit 0 and a configuration with an appliance
# ID), their run times (min/median/max), and the most connections the server accepted, and the
# most connection attempts made (refused ones included), in any one second. Each activation
# connects twice (validation, registration). A longer DELAY (30) shows a fleet that has reached
# long pauses. Figures only: it asserts nothing. Not part of CI.
# Usage: bench/fleet-retry.sh [BUILD_DIR]   (root; default build)
# Environment: RUNS (default 200), DELAY (5), PORT (18080), TIMEOUT (120, each run's --timeout).
set -uo pipefail
cd "$(dirname "$0")/.." || exit 2
. scripts/lib.sh
kl_private_exec net "$0" "$@"
kl_private_setup lo || exit 2
build=$(cd "${1:-build}" && pwd)
runs=${RUNS:-200}
delay=${DELAY:-5}
port=${PORT:-18080}
timeout=${TIMEOUT:-120}
cmake --build "$build" -j2 --target kelvory-activate kelvory-activate-nojitter InitialValidate \
  kelvory-mgmt-sim >/dev/null || { echo "fleet-retry: the build failed" >&2; exit 2; }

work=$(mktemp -d /var/tmp/kl_fleet.XXXXXX)
sampler=""
cleanup() {
  [ "$BASHPID" = "$$" ] || return 0  # not in the background jobs, which inherit the trap
  [ -z "$sampler" ] || kill "$sampler" 2>/dev/null
  kl_sim_stop
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# "seconds Tcp-ActiveOpens Tcp-PassiveOpens" every 0.1 s: attempts made, connections accepted.
sample() {
  while :; do
    awk -v t="$EPOCHREALTIME" '/^Tcp:/ && $2 ~ /^[0-9]/ { print t, $6, $7 }' /proc/net/snmp
    sleep 0.1
  done
}

# One machine: a private /tmp, the activation, then whether the configuration holds an appliance
# ID. Records "exit-code milliseconds configured" in $dir/r.N.
machine() {
  local program=$1 dir=$2 n=$3 started=$EPOCHREALTIME code=0
  # shellcheck disable=SC2016  # expanded by the inner shell, in its own /tmp
  unshare -m --propagation private sh -c '
    mount -t tmpfs -o mode=1777 none /tmp || exit 99
    "$@"; code=$?
    grep -q "^	appliance_id=" /tmp/kelvor.conf 2>/dev/null && echo configured >&2
    exit $code' sh "$program" --retry --json --timeout "$timeout" --tool "$build/InitialValidate" \
    --customer-name "Demo Customer" --customer-id 1001 --server 127.0.0.1 --protocol http \
    --port "$port" >"$dir/out.$n" 2>"$dir/err.$n" || code=$?
  local ended=$EPOCHREALTIME configured=0
  grep -q '^configured$' "$dir/err.$n" && configured=1
  echo "$code $(((${ended/./} - ${started/./}) / 1000)) $configured" >"$dir/r.$n"
}

# The busiest second of the samples in column $2 of $1: the largest rise over 1 s.
busiest() {
  awk -v c="$2" '{ t[NR] = $1; v[NR] = $c }
    END { j = 1; for (i = 1; i <= NR; i++) { while (t[i] - t[j] > 1.0001) j++
            if (v[i] - v[j] > m) m = v[i] - v[j] }
          print m + 0 }' "$1"
}

fleet() {
  local name=$1 program=$2 dir=$work/$1
  mkdir -p "$dir"
  sample >"$dir/samples" &
  sampler=$!
  local started=$EPOCHREALTIME pids=()
  for n in $(seq 1 "$runs"); do
    machine "$program" "$dir" "$n" &
    pids+=($!)
  done
  sleep "$delay"
  kl_sim_start "$build/kelvory-mgmt-sim" "$dir/sim.out" "$dir/sim.err" "$port" ||
    echo "fleet-retry: the simulator did not listen" >&2
  wait "${pids[@]}"
  local ended=$EPOCHREALTIME
  kl_sim_stop
  kill "$sampler" 2>/dev/null
  wait "$sampler" 2>/dev/null
  sampler=""
  local rounds
  rounds=$(cat "$dir"/out.* | grep -o '"rounds":[0-9]*' | cut -d: -f2 | sort -n |
    awk '{ r[NR] = $1 } END { printf "rounds %d/%d/%d", r[1], r[int((NR + 1) / 2)], r[NR] }')
  cat "$dir"/r.* | sort -n -k2 | awk -v name="$name" -v rounds="$rounds" \
    -v wall=$(((${ended/./} - ${started/./}) / 1000)) '
    { ms[NR] = $2; if ($1 == 0 && $3 == 1) ok++ }
    END { printf "%s: %d of %d activated in %.1f s; run times min %.1f s, median %.1f s, " \
          "max %.1f s; %s (min/median/max)\n", name, ok, NR, wall / 1000, ms[1] / 1000,
          ms[int((NR + 1) / 2)] / 1000, ms[NR] / 1000, rounds }'
  echo "  busiest second: $(busiest "$dir/samples" 3) connections accepted by the server," \
    "$(busiest "$dir/samples" 2) connection attempts made (refused ones included)"
}

echo "$runs machines, the simulator on 127.0.0.1:$port after $delay s, $(nproc) cores"
fleet "with jitter" "$build/kelvory-activate"
fleet "without jitter" "$build/bench/kelvory-activate-nojitter"
