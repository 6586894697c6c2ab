#!/bin/bash
# Measures kelvory-mgmt-sim under load, on 127.0.0.1 only, and prints the figures (it asserts
# nothing: timings depend on the machine).
#   1. VALIDATIONS runs of InitialValidate at once against one simulator: how many ended exact
#      (exit 0, a well-formed section, every appliance ID different), the wall time, the median
#      and slowest run, and the connections dropped by a full listen queue (each one costs its
#      client a second or more before it tries again).
#   2. SLOW clients connect and send half a request, then nothing; while they hold their
#      connections, PROBES validations run at once: median and slowest run.
#   3. KEEPALIVE requests on one kept-alive connection: the median time per request after the
#      first (about 40 ms each when answers wait on delayed acknowledgements).
#   4. LORIS clients each send the start of a request and then a byte a second, connecting again
#      when cut off, while PROBES validations run at once (3 s after the last client connected):
#      median and slowest run, and how many connections the simulator cut. The clients stop when
#      the validations have ended (each ends within the tool's own 30-second limit).
# Usage: bench/load-sim.sh [BUILD_DIR]   (default build; the tool and simulator built there)
# Environment: VALIDATIONS (default 500), SLOW (64), PROBES (10), KEEPALIVE (50), LORIS (600),
# SIM (the simulator to measure; default BUILD_DIR/kelvory-mgmt-sim).
set -eu
cd "$(dirname "$0")/.."
. scripts/lib.sh
build=${1:-build}
validations=${VALIDATIONS:-500}
slow=${SLOW:-64}
probes=${PROBES:-10}
keepalive=${KEEPALIVE:-50}
loris=${LORIS:-600}
tool=$build/InitialValidate
simulator=${SIM:-$build/kelvory-mgmt-sim}
for program in "$tool" "$simulator"; do
  [ -x "$program" ] || { echo "load-sim: $program is not built" >&2; exit 2; }
done

work=$(mktemp -d /tmp/kelvory_load_XXXXXX)
dribbler=""
cleanup() {
  [ -z "$dribbler" ] || kill "$dribbler" 2>/dev/null || true
  kl_sim_stop
  rm -rf "$work"
}
trap cleanup EXIT

kl_sim_start "$simulator" "$work/sim.out" "$work/sim.err" ||
  { echo "load-sim: the simulator did not start" >&2; exit 1; }
port=$kl_sim_port
queue=$(ss -Hltn "sport = :$port" | awk '{print $3}')
echo "simulator on 127.0.0.1:$port, listen queue ${queue:-?}"

# Runs one validation as run N and records "exit-code milliseconds" in $work/r.N.
validate() {
  local n=$1 started=$EPOCHREALTIME code=0
  "$tool" -s 127.0.0.1 -n "$port" -p http -c "Demo Customer" -i 1001 \
    -f "$work/c.$n" -l "$work/l.$n" >/dev/null 2>&1 || code=$?
  local ended=$EPOCHREALTIME
  echo "$code $(((${ended/./} - ${started/./}) / 1000))" >"$work/r.$n"
}

# Runs validations FIRST..LAST at once and waits for all of them.
validate_all() {
  local pids=() n
  for n in $(seq "$1" "$2"); do
    validate "$n" &
    pids+=($!)
  done
  wait "${pids[@]}"
}

# Prints "median M ms, slowest S ms, K of N exit 0" over the records r.FIRST..r.LAST.
summary() {
  for n in $(seq "$1" "$2"); do cat "$work/r.$n"; done | sort -n -k2 | awk '
    { ms[NR] = $2; if ($1 == 0) ok++ }
    END { printf "median %d ms, slowest %d ms, %d of %d exit 0\n", ms[int((NR + 1) / 2)],
          ms[NR], ok, NR }'
}

# Connections this network namespace's listen queues have dropped so far.
listen_drops() {
  awk '/^TcpExt:/ { if (!names) { split($0, name); names = 1 } else {
         for (i = 2; i <= NF; i++) if (name[i] == "ListenDrops") print $i } }' /proc/net/netstat
}

# 1. Concurrent validations.
drops=$(listen_drops)
started=$EPOCHREALTIME
validate_all 1 "$validations"
ended=$EPOCHREALTIME
exact=0
for n in $(seq 1 "$validations"); do
  if [ "$(cut -d' ' -f1 "$work/r.$n")" = 0 ] &&
    printf '[server]\n\tserver_0=127.0.0.1\n\tprotocol_0=http\n\tport_0=%s\n' "$port" |
    cmp -s - <(head -4 "$work/c.$n") &&
    grep -Eq '^	appliance_id=[0-9]+$' <(tail -n +5 "$work/c.$n"); then
    exact=$((exact + 1))
  fi
done
distinct=$(cat "$work"/c.* 2>/dev/null | grep appliance_id= | sort -u | wc -l)
echo "$validations validations at once: $exact exact, $distinct distinct appliance IDs," \
  "$(((${ended/./} - ${started/./}) / 1000)) ms in all, $(($(listen_drops) - drops))" \
  "connections dropped by a full listen queue; $(summary 1 "$validations")"

# 2. Slow clients hold connections while validations run.
fds=()
for _ in $(seq 1 "$slow"); do
  exec {fd}<>"/dev/tcp/127.0.0.1/$port"
  printf 'POST /api/v1/validate HTTP/1.1\r\nHost: 127.0.0.1\r\n' >&"$fd"
  fds+=("$fd")
done
first=$((validations + 1))
last=$((validations + probes))
validate_all "$first" "$last"
for fd in "${fds[@]}"; do exec {fd}>&-; done
echo "$probes validations while $slow slow clients hold connections: $(summary "$first" "$last")"

# 3. Kept-alive requests on one connection.
urls=()
for _ in $(seq 1 "$keepalive"); do urls+=("http://127.0.0.1:$port/api/v1/validate"); done
curl -s -o /dev/null -w '%{num_connects} %{time_total}\n' --noproxy '*' \
  -H 'Content-Type: application/json' -d '{"applianceId":"42"}' "${urls[@]}" >"$work/keepalive"
connections=$(awk '{ n += $1 } END { print n }' "$work/keepalive")
tail -n +2 "$work/keepalive" | awk '{ printf "%.3f\n", $2 * 1000 }' | sort -n | awk \
  -v n="$keepalive" -v c="$connections" '
  { t[NR] = $1 }
  END {
    printf "%d requests on %d connection(s): median %.2f ms per request after the first, " \
      "slowest %.2f ms\n", n, c, t[int((NR + 1) / 2)], t[NR]
  }'

# 4. Slow clients dribbling a request, a byte a second, while validations run.
dribble() {
  trap '' PIPE
  local head=$'POST /api/v1/validate HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: ' fd cut=0 i
  local -a fds=()
  for i in $(seq 1 "$loris"); do
    exec {fd}<>"/dev/tcp/127.0.0.1/$port"
    printf '%s' "$head" 1>&"$fd" 2>/dev/null || true
    fds[i]=$fd
  done
  echo connected >"$work/loris.connected"
  while [ ! -e "$work/loris.stop" ]; do
    sleep 1
    for i in "${!fds[@]}"; do
      # A write fails once the simulator has closed the connection: connect again.
      printf x 1>&"${fds[i]}" 2>/dev/null && continue
      cut=$((cut + 1))
      fd=${fds[i]}
      exec {fd}>&-
      exec {fd}<>"/dev/tcp/127.0.0.1/$port" || continue
      printf '%s' "$head" 1>&"$fd" 2>/dev/null || true
      fds[i]=$fd
    done
  done
  echo "$cut" >"$work/loris.cut"
}
dribble &
dribbler=$!
for _ in $(seq 600); do
  [ -e "$work/loris.connected" ] && break
  sleep 0.1
done
[ -e "$work/loris.connected" ] || { echo "load-sim: the slow clients did not connect" >&2; exit 1; }
sleep 3
first=$((validations + probes + 1))
last=$((validations + 2 * probes))
validate_all "$first" "$last"
touch "$work/loris.stop"
wait "$dribbler" || true
dribbler=""
echo "$probes validations while $loris clients dribble a byte a second: $(summary "$first" "$last");" \
  "$(cat "$work/loris.cut" 2>/dev/null || echo '?') connections cut by the simulator"
