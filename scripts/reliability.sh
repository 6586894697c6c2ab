#!/bin/bash
# Faults, hostile input and concurrency against the real tools: kelvory-activate with the
# reference InitialValidate and the simulator, all on 127.0.0.1, in a private /tmp (a mount and
# network namespace; needs root). Each scenario prints what it saw and PASS or FAIL; the script
# fails when any scenario does. Needs a build (scripts/build.sh) and python3 for the two tiny
# misbehaving servers.
# Usage: scripts/reliability.sh [PAIRS]   (PAIRS: concurrent kelvory-activate pairs, default 30)
set -uo pipefail
cd "$(dirname "$0")/.." || exit 2
if [ -z "${KL_PRIVATE:-}" ]; then
  exec env KL_PRIVATE=1 unshare -m -n --propagation private "$0" "$@"
fi
ip link set lo up
mount -t tmpfs -o mode=1777 none /tmp
build=$(pwd)/build
pairs=${1:-30}
work=$(mktemp -d /var/tmp/kl_reliability.XXXXXX)
failures=0
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; rm -rf "$work"' EXIT

verdict() {  # verdict NAME CONDITION-STATUS DETAIL
  if [ "$2" -eq 0 ]; then echo "PASS  $1: $3"; else echo "FAIL  $1: $3"; failures=$((failures + 1)); fi
}
blocks() { grep -c '^    datablock_size=20$' /tmp/kelvor.conf 2>/dev/null || true; }
tool_running() { pgrep -f "^$work/[a-z]*/InitialValidate" >/dev/null; }

# The simulator, and a kelvory-activate run in the customer form against a server port.
"$build/kelvory-mgmt-sim" --port 0 >"$work/sim.out" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/sim.out" ] && break; sleep 0.05; done
port=$(sed -n '1s/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/sim.out")
activate() {  # activate TOOLDIR PORT [OPTIONS...]  (exec: a background run's $! is the program)
  local dir=$1 p=$2
  shift 2
  exec "$build/kelvory-activate" --customer-name "Demo Customer" --customer-id 1001 \
    --server 127.0.0.1 --port "$p" --tool "$dir/InitialValidate" --json "$@" 2>>"$work/console"
}
mkdir -p "$work/real" && cp "$build/InitialValidate" "$work/real/"

# 1. The disk fills up after the tool has validated: exit 4, the tool's file as it left it.
mkdir -p "$work/fill"
cat >"$work/fill/InitialValidate" <<EOF
#!/bin/sh
"$work/real/InitialValidate" "\$@"; code=\$?
# The tool's section, padded to just below a page: the append then needs a page of its own.
printf '#%*s\n' \$((4094 - \$(wc -c </tmp/kelvor.conf))) '' >>/tmp/kelvor.conf
cat /dev/zero > /tmp/fill 2>/dev/null
exit \$code
EOF
chmod 755 "$work/fill/InitialValidate"
mount -t tmpfs -o size=64k,mode=1777 none /tmp
out=$( (activate "$work/fill" "$port") )
code=$?
conf=$(cat /tmp/kelvor.conf)
[ $code -eq 4 ] && [ "$(blocks)" -eq 0 ] && [ "${conf:0:8}" = "[server]" ]
verdict "full disk after validation" $? "exit $code, $(wc -c </tmp/kelvor.conf) bytes left as the tool wrote them, $(blocks) appended blocks; $(echo "$out" | grep -o '"outcome":"[a-z-]*"')"
umount /tmp

# 2. SIGTERM and SIGKILL to kelvory-activate while the tool waits on a server that never
#    answers: the tool ends with it and nothing is written afterwards.
python3 -c '
import socket, time
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(64)
print(s.getsockname()[1], flush=True)
conns = []
while True:
    c, _ = s.accept(); conns.append(c)
' >"$work/hole.port" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/hole.port" ] && break; sleep 0.05; done
hole=$(cat "$work/hole.port")
for signal in TERM KILL; do
  printf '[before]\n' >/tmp/kelvor.conf
  (activate "$work/real" "$hole" >"$work/out.$signal") &
  run=$!
  sleep 1
  kill -s $signal $run
  wait $run
  code=$?
  sleep 3
  ! tool_running && [ "$(cat /tmp/kelvor.conf)" = "[before]" ] && { [ $signal = KILL ] || [ $code -eq 6 ]; }
  verdict "SIG$signal to kelvory-activate" $? "exit $code, tool gone, configuration unchanged 3 s later"
done

# 3. Files planted at the fixed path by another user (or a second link): never written.
rm -f /tmp/kelvor.conf
for plant in other-user hard-link; do
  rm -f /tmp/kelvor.conf /tmp/elsewhere
  printf 'theirs\n' >/tmp/kelvor.conf
  if [ $plant = other-user ]; then chown 65534:65534 /tmp/kelvor.conf; chmod 666 /tmp/kelvor.conf
  else ln /tmp/kelvor.conf /tmp/elsewhere; fi
  out=$( (activate "$work/real" "$port") )
  code=$?
  [ $code -ne 0 ] && [ "$(cat /tmp/kelvor.conf)" = "theirs" ]
  verdict "configuration planted ($plant)" $? "exit $code, file untouched"
done
rm -f /tmp/kelvor.conf /tmp/elsewhere

# 4. Concurrent runs: each pair leaves exactly one activation block after the tool's section.
one=0
for _ in $(seq "$pairs"); do
  (activate "$work/real" "$port" >/dev/null) &
  a=$!
  (activate "$work/real" "$port" >/dev/null) &
  b=$!
  wait $a; ca=$?
  wait $b; cb=$?
  [ $ca -eq 0 ] && [ $cb -eq 0 ] && [ "$(blocks)" -eq 1 ] && one=$((one + 1))
done
[ $one -eq "$pairs" ]
verdict "concurrent pairs" $? "$one of $pairs pairs both activated and left one block"

# 5. Hostile values: a target volume with a line break, a deeply nested answer.
out=$( (activate "$work/real" "$port" --target $'/V\n[main]') )
code=$?
[ $code -eq 1 ]
verdict "volume path with a line break" $? "exit $code: $(echo "$out" | grep -o '"message":"[^"]*"')"
python3 -c '
import socket
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(8)
print(s.getsockname()[1], flush=True)
body = b"[" * 120000 + b"]" * 120000
while True:
    c, _ = s.accept(); c.recv(65536)
    c.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: %d\r\nConnection: close\r\n\r\n" % len(body) + body)
    c.close()
' >"$work/deep.port" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/deep.port" ] && break; sleep 0.05; done
out=$( (activate "$work/real" "$(cat "$work/deep.port")") )
code=$?
status=$(echo "$out" | grep -o '"status":[0-9-]*' | head -1)
[ "$status" = '"status":10' ]
verdict "answer nested 120,000 deep" $? "exit $code, tool $status"

# 6. A hostile pre-fill file at the size limit (262,000 sibling elements).
python3 -c "print('<r><ActivationKey>K</ActivationKey>' + '<a/>' * 262000 + '</r>')" >"$work/big.xml"
start=$(date +%s%N)
(activate "$work/real" "$port" --data "$work/big.xml" --dry-run >/dev/null)
ms=$(( ($(date +%s%N) - start) / 1000000 ))
[ $ms -lt 10000 ]
verdict "1 MiB pre-fill of 262,000 siblings" $? "read and checked in $ms ms"

# 7. Crafted profiles: a binary list that refers to itself, one nested 120,000 deep, OpenStep
# text nested 100,000 deep (each crashed a parser), 64 MiB of XML: refused at once, exit 1.
python3 - "$work" <<'EOF'
import struct, sys
def bplist(objects, ref):
    body, offsets = b"bplist00", []
    for o in objects:
        offsets.append(len(body))
        body += o
    table = len(body)
    body += b"".join(o.to_bytes(4, "big") for o in offsets)
    return body + bytes(6) + bytes([4, ref]) + struct.pack(">QQQ", len(objects), 0, table)
w = sys.argv[1]
open(w + "/self.plist", "wb").write(bplist([b"\xa1\x00"], 1))
chain = [b"\xa1" + (i + 1).to_bytes(3, "big") for i in range(120000)] + [b"\x09"]
open(w + "/chain.plist", "wb").write(bplist(chain, 3))
open(w + "/openstep.plist", "w").write("{a=" * 100000 + "b" + ";}" * 100000)
open(w + "/huge.plist", "w").write("<plist><dict>" + "<key>k</key><string>v</string>" * 2300000 + "</dict></plist>")
EOF
for f in self chain openstep huge; do
  start=$(date +%s%N)
  out=$("$build/kelvory-activate" --json --dry-run --managed-preferences "$work/$f.plist" 2>/dev/null)
  code=$?
  ms=$(( ($(date +%s%N) - start) / 1000000 ))
  [ $code -eq 1 ] && [ $ms -lt 3000 ]
  verdict "crafted profile ($f)" $? "exit $code in $ms ms: $(echo "$out" | grep -o '"message":"[^"]*"')"
done

echo "$failures scenario(s) failed"
[ $failures -eq 0 ]
