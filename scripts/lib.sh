# shellcheck shell=sh
# What the scripts around the project share; sourced, never run (POSIX sh, for sh and bash alike):
#   . scripts/lib.sh                          (from the repository's root)
#   . "$(dirname "$0")/../../scripts/lib.sh"   (from elsewhere)
# Its names start with kl_; it sets no shell option and installs no trap: what a caller stops,
# and when, stays the caller's business.

# --- The management server simulator ---

# kl_sim_start PROGRAM OUT ERR [PORT [OPTION...]]
# Starts the simulator PROGRAM (kelvory-mgmt-sim) in the background on 127.0.0.1:PORT (default 0:
# a free port it picks), with the further OPTIONs (kl_tls_options for https), its standard output
# to the file OUT and its errors to the file ERR, and
# waits (10 s at most) for the first line it prints, "listening on 127.0.0.1:N". Sets kl_sim to
# its process ID (a child of the calling shell: `wait "$kl_sim"` works) and kl_sim_port to N.
# Returns 1, with kl_sim_port empty and the simulator left to kl_sim_stop, when it never said
# so: it ended, or could not bind.
kl_sim_start() {
  kl_program=$1 kl_out=$2 kl_err=$3 kl_port=${4:-0}
  shift 3
  [ $# -eq 0 ] || shift
  "$kl_program" --port "$kl_port" "$@" >"$kl_out" 2>"$kl_err" &
  kl_sim=$!
  kl_sim_port=""
  kl_i=0
  while [ "$kl_i" -lt 200 ]; do
    kl_sim_port=$(sed -n '1s/^listening on 127\.0\.0\.1:\([0-9][0-9]*\)$/\1/p' "$kl_out" 2>/dev/null)
    [ -n "$kl_sim_port" ] && return 0
    # Ended without a word: no need to wait out the rest.
    kill -0 "$kl_sim" 2>/dev/null || break
    sleep 0.05
    kl_i=$((kl_i + 1))
  done
  kl_sim_port=$(sed -n '1s/^listening on 127\.0\.0\.1:\([0-9][0-9]*\)$/\1/p' "$kl_out" 2>/dev/null)
  [ -n "$kl_sim_port" ]
}

# kl_tls_make DIR
# Makes a throwaway certificate authority and a server certificate it signed for 127.0.0.1 and
# localhost (openssl; keys of the run's own, never reused) in DIR: ca.pem, server.pem,
# server-key.pem. Exports KELVORY_CA_FILE (the tools add it to the system's store) and sets
# kl_tls_options to the simulator's options for them ("--tls-cert DIR/server.pem --tls-key ...";
# DIR must hold no blanks). Returns openssl's failure, its messages in DIR/openssl.log.
kl_tls_make() {
  mkdir -p "$1" || return
  {
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Kelvory test CA" \
      -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign \
      -keyout "$1/ca-key.pem" -out "$1/ca.pem" &&
      openssl req -new -newkey rsa:2048 -nodes -subj "/CN=127.0.0.1" \
        -keyout "$1/server-key.pem" -out "$1/server.csr" &&
      printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\nextendedKeyUsage=serverAuth\n' \
        >"$1/server.ext" &&
      openssl x509 -req -in "$1/server.csr" -CA "$1/ca.pem" -CAkey "$1/ca-key.pem" \
        -CAcreateserial -days 2 -extfile "$1/server.ext" -out "$1/server.pem"
  } >"$1/openssl.log" 2>&1 || return
  KELVORY_CA_FILE=$1/ca.pem
  export KELVORY_CA_FILE
  # shellcheck disable=SC2034  # read by the callers
  kl_tls_options="--tls-cert $1/server.pem --tls-key $1/server-key.pem"
}

# kl_sim_stop: ends the simulator kl_sim_start started, if it runs, and waits for it (its port is
# free afterwards). Safe to call twice, and from an EXIT trap.
kl_sim_stop() {
  if [ -n "${kl_sim:-}" ]; then
    # Not failing: set -e would end an EXIT trap here, before the caller's own clean-up.
    kill "$kl_sim" 2>/dev/null || true
    wait "$kl_sim" 2>/dev/null || true
    kl_sim=""
  fi
  return 0
}

# --- A forward proxy (tinyproxy) ---

# kl_proxy_start DIR [LINE...]
# Starts tinyproxy in the foreground of a background job on a free port of 127.0.0.1, allowing
# 127.0.0.1 only, with the further configuration LINEs (e.g. "BasicAuth user secret"); its
# configuration and log in DIR. Waits (10 s at most) until it accepts connections. Sets
# kl_proxy_port; each proxy started is remembered for kl_proxy_stop. Returns 1 when it did not
# start (its log says why).
kl_proxy_start() {
  kl_dir=$1
  shift
  mkdir -p "$kl_dir" || return
  kl_proxy_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])') || return
  {
    printf 'Port %s\nListen 127.0.0.1\nAllow 127.0.0.1\nTimeout 30\nMaxClients 50\n' "$kl_proxy_port"
    printf 'LogLevel Info\nLogFile "%s/tinyproxy.log"\n' "$kl_dir"
    for kl_line; do printf '%s\n' "$kl_line"; done
  } >"$kl_dir/tinyproxy.conf"
  tinyproxy -d -c "$kl_dir/tinyproxy.conf" >"$kl_dir/tinyproxy.out" 2>&1 &
  kl_proxies="${kl_proxies:-} $!"
  kl_i=0
  while [ "$kl_i" -lt 200 ]; do
    grep -q 'Starting main loop' "$kl_dir/tinyproxy.log" 2>/dev/null && return 0
    kill -0 "$!" 2>/dev/null || return 1
    sleep 0.05
    kl_i=$((kl_i + 1))
  done
  return 1
}

# kl_proxy_stop: ends every proxy kl_proxy_start started and waits for them. Safe to call twice,
# and from an EXIT trap.
kl_proxy_stop() {
  for kl_p in ${kl_proxies:-}; do
    kill "$kl_p" 2>/dev/null || true
    wait "$kl_p" 2>/dev/null || true
  done
  kl_proxies=""
  return 0
}

# --- A private /tmp and /run ---
# The product uses fixed paths (/tmp/kelvor.conf, /tmp/kelvor_install.log,
# /var/run/kelvory-activate.lock) and loopback ports: two runs on one machine, or a run and the
# machine's own files, must not meet. A script enters namespaces of its own first thing, then
# covers what it needs with empty file systems.

# kl_private_exec MODE SCRIPT [ARG...]
# Outside (KL_PRIVATE unset), runs SCRIPT with its ARGs again in a new mount namespace (mount
# events not shared back) and replaces this shell with it; KL_PRIVATE tells the run inside how
# private it is. Inside, returns 0 at once. MODE:
#   net   a mount and a network namespace (root); when unshare cannot make them, it fails and so
#         does the script (its exit status)
#   any   the same where the system allows, else a mount namespace alone (KL_PRIVATE=mount);
#         when neither can be made, returns 1 and the caller runs against the machine's /tmp
kl_private_exec() {
  [ -z "${KL_PRIVATE:-}" ] || return 0
  kl_mode=$1
  shift
  if [ "$kl_mode" = net ] || unshare -m -n --propagation private true 2>/dev/null; then
    exec env KL_PRIVATE=net unshare -m -n --propagation private "$@"
  fi
  if unshare -m --propagation private true 2>/dev/null; then
    exec env KL_PRIVATE=mount unshare -m --propagation private "$@"
  fi
  return 1
}

# kl_private_setup WHAT...: inside kl_private_exec's namespaces, in the order given:
#   lo   brings the loopback interface up (only in a network namespace: KL_PRIVATE=net)
#   tmp  an empty /tmp (mode 1777)
#   run  an empty /run (mode 755): root's activation lock, /var/run/kelvory-activate.lock
# Does nothing with KL_PRIVATE=none (or unset): the machine's own are never covered.
kl_private_setup() {
  case "${KL_PRIVATE:-none}" in none) return 0 ;; esac
  for kl_what; do
    case "$kl_what" in
      lo) [ "$KL_PRIVATE" = mount ] || ip link set lo up ;;
      tmp) mount -t tmpfs -o mode=1777 none /tmp ;;
      run) mount -t tmpfs -o mode=755 none /run ;;
      *) echo "kl_private_setup: unknown: $kl_what" >&2; return 2 ;;
    esac || return
  done
}
