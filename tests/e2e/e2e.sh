#!/bin/bash
# End to end: the real plug-in bundle in the real installer host, the real validation tool and
# the management server simulator, all on loopback. Usage: e2e.sh SCENARIO BUILD_DIR
set -uo pipefail
# shellcheck source=scripts/lib.sh
. "$(dirname "$0")/../../scripts/lib.sh"
scenario=$1
bin=$2
work=$(mktemp -d /tmp/kelvory_e2e_XXXXXX)
# Every process the host starts inherits this mark: whatever carries it once the host is gone
# outlived it (Xvfb, a daemon of the toolkit, the validation tool).
mark="KELVORY_E2E_MARK=$$_$RANDOM"
cleanup() {
  kl_sim_stop
  # Whatever the host left behind after a failure (see the mark above).
  grep -lsa "$mark" /proc/[0-9]*/environ | sed 's|^/proc/\([0-9]*\)/environ$|\1|' |
    xargs -r kill -KILL 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL ($scenario): $*" >&2
  echo "--- transcript" >&2; cat "$work/transcript" >&2 2>/dev/null
  echo "--- stderr" >&2; tail -20 "$work/stderr" >&2 2>/dev/null
  exit 1
}

# The simulator picks a free port and says which on its first line.
kl_sim_start "$bin/kelvory-mgmt-sim" "$work/sim.out" "$work/sim.err" ||
  fail "the simulator did not start"
port=$kl_sim_port

mkdir -p "$work/pkg"
rm -f /tmp/kelvor.conf
main='[main]
    logfilename=//var/log/Tervox/Kelvory/kelvor.log
    loglevel=3
    homedir=/Applications/Kelvory.app/Contents/Daemon/home/kelvor
    thread_limitation=50
    poll_delay=1
    datablock_size=20

'
host() {
  timeout -s KILL 100 env "$mark" "$bin/kelvory-installer" --package "$work/pkg/Kelvory.pkg" "$@" \
    >"$work/transcript" 2>"$work/stderr"
}
# Fails when a process started by the host is still there after a short grace.
no_leftovers() {
  local left=""
  for _ in $(seq 20); do
    left=$(grep -lsa "$mark" /proc/[0-9]*/environ | sed 's|^/proc/\([0-9]*\)/environ$|\1|' |
      while read -r p; do echo "$p:$(cat "/proc/$p/comm" 2>/dev/null)"; done)
    [ -z "$left" ] && return 0
    sleep 0.1
  done
  fail "left running after the host: $left"
}
# Runs the installer with a script made of the arguments (one step each).
run_script() {
  printf '%s\n' "$@" >"$work/script"
  host --script "$work/script"
  status=$?
  no_leftovers
}
# A copy of the plug-in whose validation tool never ends, and a pre-fill that starts it at once.
# With "notes", the tool writes tool.ended when it is asked to end (SIGTERM to its group) rather
# than killed.
hanging_tool() {  # [notes]
  cp -R "$bin/Kelvory.bundle" "$work/"
  if [ "${1:-}" = notes ]; then
    printf '#!/bin/sh\necho $$ >%s/tool.pid\ntrap "echo >%s/tool.ended; exit 1" TERM\n%s\n' \
      "$work" "$work" "sleep 100 & wait" >"$work/Kelvory.bundle/Resources/InitialValidate"
  else
    printf '#!/bin/sh\necho $$ >%s/tool.pid\nexec sleep 100\n' "$work" \
      >"$work/Kelvory.bundle/Resources/InitialValidate"
  fi
  key=$("$bin/kelvory-keytool" encode --endpoint "http://127.0.0.1:$port" --appliance-id 42)
  echo "<InstallationData><ActivationKey>$key</ActivationKey></InstallationData>" \
    >"$work/pkg/InstallationData.xml"
}
# Starts the host headless on its own display with the hanging tool, sends it SIGNAL once the
# tool runs, and waits for it.
signal_host() {  # SIGNAL [notes]
  hanging_tool "${2:-}"
  DISPLAY='' env "$mark" "$bin/kelvory-installer" --package "$work/pkg/Kelvory.pkg" \
    --plugin "$work/Kelvory.bundle" --headless >"$work/transcript" 2>"$work/stderr" &
  local pid=$!
  for _ in $(seq 200); do [ -s "$work/tool.pid" ] && break; sleep 0.05; done
  [ -s "$work/tool.pid" ] || fail "the tool did not start"
  kill "-$1" "$pid"
  wait "$pid"
  status=$?
}
customer_form() {  # NAME ID URLS [STEPS...]
  run_script "select klActivationMatrix 1 0" "type klCustomerNameField $1" \
    "type klCustomerIdField $2" "type klServerURLField $3" "type klServerPortField $port" \
    continue wait "${@:4}"
}
expect() {  # STATUS TRANSCRIPT-LINES...
  [ "$status" = "$1" ] || fail "exit status $status, expected $1"
  shift
  diff -u <(printf '%s\n' "$@") "$work/transcript" >&2 || fail "transcript differs"
}
expect_conf() {
  [ "$(cat /tmp/kelvor.conf; echo x)" = "$1
x" ] || fail "unexpected /tmp/kelvor.conf: $(cat -A /tmp/kelvor.conf)"
}
tool_section() {  # APPLIANCE-ID
  printf '[server]\n\tserver_0=127.0.0.1\n\tprotocol_0=http\n\tport_0=%s\n\tappliance_id=%s\n' \
    "$port" "$1"
}

case "$scenario" in
  prefilled-key)
    key=$("$bin/kelvory-keytool" encode --endpoint "http://127.0.0.1:$port" \
      --endpoint https://127.0.0.9:8443 --appliance-id 42 --type 1 --token e2e)
    echo "<InstallationData><ActivationKey>$key</ActivationKey></InstallationData>" \
      >"$work/pkg/InstallationData.xml"
    # A whole flow with the leak check: every object of the plug-in is freed at the end (and
    # under the sanitizer build LeakSanitizer watches the rest).
    host --headless --leak-check
    status=$?
    no_leftovers
    expect 0 "pane: ActDlgPane" "pane: ValidDlgPane" "result: Validation Succeeded" \
      "buttons: continue=on back=on" "pane: summary"
    expect_conf "$(tool_section 42)
	endpoint_size=2
	server_1=127.0.0.9
	protocol_1=https
	port_1=8443
$main"
    ;;
  failover)
    customer_form "Demo Customer" 1001 "127.0.0.2,127.0.0.1" "screenshot $work/shot.png"
    expect 0 "pane: ActDlgPane" "pane: ValidDlgPane" "result: Validation Succeeded" \
      "buttons: continue=on back=on"
    [ "$(head -c 4 "$work/shot.png" | tail -c 3)" = PNG ] || fail "no PNG screenshot"
    [ "$(grep -c 'Validation Done with Code' "$work/stderr")" = 2 ] || fail "not two attempts"
    ;;
  all-failing)
    # Tried again twice after going back: every alert shows and closes, each in its turn. Go
    # Back on the first pane is ignored.
    run_script back "select klActivationMatrix 1 0" "type klCustomerNameField Demo Customer" \
      "type klCustomerIdField 1001" "type klServerURLField 127.0.0.2,127.0.0.3" \
      "type klServerPortField $port" continue wait back continue wait back continue wait \
      continue
    failed=("pane: ValidDlgPane"
      "alert: Connection failed. Can not connect to the server with the input parameters."
      "result: Validation Failed" "buttons: continue=off back=on")
    # Continue after a failure is disabled: the press is ignored.
    expect 1 "pane: ActDlgPane" "ignored: back" "${failed[@]}" "pane: ActDlgPane" "${failed[@]}" \
      "pane: ActDlgPane" "${failed[@]}" "ignored: continue"
    [ ! -e /tmp/kelvor.conf ] || fail "a configuration file was written"
    ;;
  # The keyboard as on a Mac: the tab order of each form (hidden controls skipped, the disabled
  # Go Back too), Escape doing nothing, Return pressing Continue from a text field and on the
  # validation pane, and the alert's one default "OK" button closed by Return (a panel with
  # other buttons would add an "alert buttons:" line, one Return does not close an "alert:
  # Return did not close it" line).
  keyboard)
    # The same walk with the keyboard alone in each language the bundle has; only the alert and
    # the verdict read differently, as the bundle's own tables say.
    tab4="key tab,focus,key tab,focus,key tab,focus,key tab,focus"
    # The radio groups are chosen with the arrow keys: the proxy, then the customer form.
    IFS=, read -ra steps <<<"focus,$tab4,key escape,focus,key tab,key down,$tab4,key tab,key tab,key tab,key tab,focus,key down,focus,$tab4,$tab4,key tab,focus,key tab,focus,key return,type klCustomerNameField Demo Customer,type klCustomerIdField 1001,type klServerURLField 127.0.0.1,type klServerPortField $port,key return,wait,focus,key tab,focus,key space,focus,key return,wait,key return"
    for language in en de fr es ja; do
      text() {
        sed -n "s/^\"$1\" = \"\(.*\)\";\$/\1/p" \
          "$bin/Kelvory.bundle/Resources/$language.lproj/Localizable.strings"
      }
      empty=$(text alert.customerName.empty)
      succeeded=$(text validation.verdict.succeeded)
      [ -n "$empty" ] && [ -n "$succeeded" ] || fail "no $language table in the bundle"
      rm -f /tmp/kelvor.conf
      printf '%s\n' "${steps[@]}" >"$work/script"
      host --script "$work/script" --language "$language"
      status=$?
      no_leftovers
      expect 0 "pane: ActDlgPane" "focus: klActivationKeyField" \
        "focus: klProxyMatrix" "focus: Continue" "focus: klActivationMatrix" \
        "focus: klActivationKeyField" "focus: klActivationKeyField" \
        "focus: klProxyField" "focus: Continue" "focus: klActivationMatrix" \
        "focus: klActivationKeyField" "focus: klActivationMatrix" "focus: klActivationMatrix" \
        "focus: klCustomerNameField" "focus: klCustomerIdField" \
        "focus: klServerURLField" "focus: klProtocolMatrix" "focus: klServerPortField" \
        "focus: klProxyMatrix" "focus: klProxyField" "focus: Continue" "focus: klActivationMatrix" \
        "focus: klCustomerNameField" "alert: $empty" \
        "pane: ValidDlgPane" "result: $succeeded" "buttons: continue=on back=on" \
        "focus: none" "focus: Go Back" "pane: ActDlgPane" "focus: klCustomerNameField" \
        "pane: ValidDlgPane" "result: $succeeded" "buttons: continue=on back=on" \
        "pane: summary"
    done
    [ "$empty" != "Customer name can not be empty" ] || fail "the last language showed English"
    ;;
  # However the host ends, nothing it started runs on: not its X server, not the tool.
  terminated)
    # SIGTERM, SIGHUP (a closed terminal) and SIGINT end the host and, first, the tool it runs.
    for signal in TERM HUP INT; do
      rm -f "$work/tool.pid" "$work/tool.ended"
      signal_host $signal notes
      [ "$status" = $((128 + $(kill -l $signal))) ] || fail "exit status $status after SIG$signal"
      [ -e "$work/tool.ended" ] || fail "the host did not end the tool on SIG$signal"
      no_leftovers
    done
    # A usage error and a script error are status 2, --version 0, as documented.
    "$bin/kelvory-installer" --no-such-option >/dev/null 2>&1
    status=$?
    [ "$status" = 2 ] || fail "exit status $status for an unknown option"
    "$bin/kelvory-installer" --language it --headless >/dev/null 2>&1
    status=$?
    [ "$status" = 2 ] || fail "exit status $status for a language the plug-in does not have"
    run_script continue "no-such-step"
    [ "$status" = 2 ] || fail "exit status $status for a script error"
    grep -q 'line 2: unknown step "no-such-step"' "$work/stderr" || fail "no script error message"
    [ ! -s "$work/transcript" ] || fail "a step ran before the script was refused"
    # What cannot be a script is refused before a byte of it is read: a directory, a device
    # (/dev/zero was read until memory ran out), a pipe nobody writes to, more than 1 MiB. A
    # script of exactly 1 MiB is read whole: its error is the parser's.
    mkfifo "$work/fifo"
    { head -c $((1048576 - 13)) /dev/zero | tr '\0' '#'; printf '\nno-such-step'; } >"$work/1mib"
    cp "$work/1mib" "$work/big" && echo >>"$work/big"
    for refused in "$work|the script $work is not a regular file: a directory" \
      "/dev/zero|the script /dev/zero is not a regular file: a character device" \
      "$work/fifo|the script $work/fifo is not a regular file: a pipe" \
      "$work/big|the script $work/big is larger than 1 MiB (1048577 bytes)" \
      "$work/1mib|$work/1mib: line 2: unknown step \"no-such-step\""; do
      host --script "${refused%%|*}"
      status=$?
      [ "$status" = 2 ] || fail "exit status $status for the script ${refused%%|*}"
      grep -qxF "error: ${refused#*|}" "$work/stderr" || fail "not the message: ${refused#*|}"
    done
    version=$("$bin/kelvory-installer" --version) || fail "--version exited $?"
    [[ "$version" =~ ^kelvory-installer\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "--version printed: $version"
    "$bin/kelvory-installer" --version --bogus >/dev/null 2>&1
    status=$?
    [ "$status" = 2 ] || fail "exit status $status for --version with another argument"
    ;;
  killed)
    signal_host KILL
    [ "$status" = 137 ] || fail "exit status $status after SIGKILL"
    no_leftovers
    ;;
  wait-limit)
    hanging_tool notes
    DISPLAY='' host --plugin "$work/Kelvory.bundle" --headless --wait-limit 1
    status=$?
    [ "$status" = 1 ] || fail "exit status $status at the wait limit"
    grep -q '^error: validation did not end within 1 s$' "$work/stderr" || fail "no limit message"
    [ -e "$work/tool.ended" ] || fail "the host did not end the tool"
    no_leftovers
    ;;
  # With /tmp full, as a full disk leaves it, the headless host (whose alert opens a panel) ends
  # with its verdict instead of waiting for a daemon that cannot start or a panel nobody sees.
  # /tmp is a tiny full file system in a mount namespace of its own; the work folder is reached
  # through a descriptor opened before it was covered.
  full-tmp)
    key=$("$bin/kelvory-keytool" encode --endpoint "http://127.0.0.1:$port" --appliance-id 42)
    echo "<InstallationData><ActivationKey>$key</ActivationKey></InstallationData>" \
      >"$work/pkg/InstallationData.xml"
    # shellcheck disable=SC2016
    unshare -m --propagation private sh -c '
      exec 3<"$1"
      mount -t tmpfs -o size=64k,mode=1777 none /tmp || exit 99
      head -c 100000 /dev/zero >/tmp/fill 2>/dev/null
      exec env "$2" DISPLAY= timeout -s KILL 60 "$3/kelvory-installer" --headless \
        --package /proc/self/fd/3/pkg/Kelvory.pkg >/proc/self/fd/3/transcript \
        2>/proc/self/fd/3/stderr' sh "$work" "$mark" "$bin"
    status=$?
    [ "$status" = 1 ] || fail "exit status $status with /tmp full"
    [ "$(tail -2 "$work/transcript")" = "result: Validation Failed
buttons: continue=off back=on" ] || fail "no verdict with /tmp full"
    no_leftovers
    ;;
  # A window install on a managed Mac: the profile alone gives the values (no file beside the
  # package); the install log says they came from it. A variable that is not UTF-8 in the
  # environment changes nothing. A path that can be no profile is refused at the start.
  profile)
    sed -e "s|<string>127.0.0.1,192.0.2.10</string>|<string>127.0.0.1</string>|" \
      -e "s|<string>https</string>|<string>http</string>|" -e "s|<integer>8443</integer>|<integer>$port</integer>|" \
      -e '/ProxyURL\|ProxyPort/d' "$(dirname "$0")/../../packaging/macos/examples/Kelvory-activation.mobileconfig" \
      >"$work/profile.mobileconfig"
    rm -f /tmp/kelvor_install.log
    DISPLAY='' KL_LATIN1=$'caf\351' host --headless --managed-preferences "$work/profile.mobileconfig"
    status=$?
    no_leftovers
    expect 0 "pane: ActDlgPane" "pane: ValidDlgPane" "result: Validation Succeeded" \
      "buttons: continue=on back=on" "pane: summary"
    mkfifo "$work/fifo"
    for path in "$work/fifo" "$work" /dev/zero "$work/none"; do
      DISPLAY='' host --headless --managed-preferences "$path"
      status=$?
      [ "$status" = 2 ] && grep -q "managed preferences $path" "$work/stderr" ||
        fail "--managed-preferences $path: exit status $status"
    done
    grep -q $'\tManaged preferences com.kelvory.activation have been found -- $' \
      /tmp/kelvor_install.log || fail "the install log does not name the profile"
    ! grep -q InstallationData.xml /tmp/kelvor_install.log || fail "the file was looked for"
    ;;
  # A key whose second endpoint carries a line break and a [main] section of its own (the
  # system's address parser takes "1.2.3.4" and ignores the rest): refused by the panes and by
  # kelvory-activate alike, before any server is asked; nothing is written.
  injected-key)
    key=$(printf 'http://127.0.0.1:%s,http://1.2.3.4\n[main]\n    homedir=/evil\n|42|1|' "$port" |
      base64 -w0)
    echo "<InstallationData><ActivationKey>$key</ActivationKey></InstallationData>" \
      >"$work/pkg/InstallationData.xml"
    DISPLAY='' host --headless
    status=$?
    no_leftovers
    expect 1 "pane: ActDlgPane" "alert: LRC checksum test failed"
    env "$mark" "$bin/kelvory-activate" --key "$key" --tool "$bin/InitialValidate" \
      >"$work/transcript" 2>"$work/stderr"
    status=$?
    no_leftovers
    expect 1 "source: options" "refused: LRC checksum test failed"
    [ ! -e /tmp/kelvor.conf ] || fail "a configuration file was written"
    ! grep -qv '^listening' "$work/sim.out" || fail "the server was asked"
    ;;
  # The shipped postinstall, as root, with the real kelvory-activate and InitialValidate; the
  # Installer's part (its arguments, PACKAGE_PATH, COMMAND_LINE_INSTALL) is played here. After a
  # window install whose panes ran as an ordinary user it skips; a command-line install and a
  # device-management install (no COMMAND_LINE_INSTALL) activate. Each says so in one line. The
  # postinstall trusts the configuration of the console's owner: logging in on a Mac makes that
  # the user, here a file of the ordinary user's over /dev/console does (a private mount); with
  # the console root's, that user's files are no activation and the tool refuses to write them.
  postinstall)
    src=$(cd "$(dirname "$0")/../.." && pwd)
    mkdir -p "$work/scripts" "$work/home"
    cp "$src/packaging/macos/postinstall" "$bin/kelvory-activate" "$bin/InitialValidate" \
      "$work/scripts/"
    printf '%s' "<InstallationData><Customer><Name>Demo Customer</Name><ID>1001</ID></Customer>
<Server><URL>127.0.0.1</URL><Protocol>http</Protocol><Port>$port</Port></Server>
</InstallationData>" >"$work/pkg/InstallationData.xml"
    touch "$work/console"
    chown 65534 "$work/console"
    postinstall() {  # ENV...
      # shellcheck disable=SC2016
      # As the Installer calls it: the package, the install location (here not the volume), the
      # target volume ($volume, / by default), its root. With $readonly_run set, /var/run cannot
      # be written.
      unshare -m --propagation private sh -c '[ -z "$0" ] || mount --bind "$0" /dev/console &&
        { [ -z "$1" ] || mount -t tmpfs -o ro none /run; } && shift && exec "$@"' \
        "${console:-}" "${readonly_run:-}" env "$@" "$mark" PACKAGE_PATH="$work/pkg/Kelvory.pkg" \
        "$work/scripts/postinstall" "$work/pkg/Kelvory-agent.pkg" /Applications "${volume:-/}" / \
        >"$work/transcript" 2>"$work/stderr"
      status=$?
      no_leftovers
    }
    rm -f /tmp/kelvor.conf /tmp/kelvor_install.log
    chmod 755 "$work"
    chown 65534:65534 "$work/home"
    setpriv --reuid=65534 --regid=65534 --clear-groups env HOME="$work/home" DISPLAY='' \
      "$mark" timeout -s KILL 100 "$bin/kelvory-installer" --package "$work/pkg/Kelvory.pkg" \
      --headless >"$work/transcript" 2>"$work/stderr"
    status=$?
    expect 0 "pane: ActDlgPane" "pane: ValidDlgPane" "result: Validation Succeeded" \
      "buttons: continue=on back=on" "pane: summary"
    [ "$(stat -c %u /tmp/kelvor.conf)" = 65534 ] || fail "the panes did not run as the user"
    before=$(cat /tmp/kelvor.conf)
    console=""
    postinstall -u COMMAND_LINE_INSTALL
    expect 3 "Kelvory activation failed (failed, exit 3): Can not create or access the install log file. (/tmp/kelvor_install.log belongs to another user, uid 65534)"
    [ "$(cat /tmp/kelvor.conf)" = "$before" ] || fail "another user's file was written"
    mv /tmp/kelvor_install.log "$work/install.log"
    postinstall -u COMMAND_LINE_INSTALL
    expect 3 "Kelvory activation failed (failed, exit 3): Can not create or access the configuration file. (/tmp/kelvor.conf belongs to another user, uid 65534)"
    mv "$work/install.log" /tmp/kelvor_install.log
    console=$work/console
    postinstall -u COMMAND_LINE_INSTALL
    expect 0 "Kelvory activation skipped: the installer's panes already activated (/tmp/kelvor.conf already ends with a complete activation for this volume (the installer's panes ran))"
    [ "$(cat /tmp/kelvor.conf)" = "$before" ] || fail "the skip changed /tmp/kelvor.conf"
    for how in COMMAND_LINE_INSTALL=1 "-u COMMAND_LINE_INSTALL"; do
      rm -f /tmp/kelvor.conf /tmp/kelvor_install.log
      # shellcheck disable=SC2086
      postinstall $how
      expect 0 "Kelvory activated: Validation Succeeded"
      [ "$(tail -n 9 /tmp/kelvor.conf)" = "$(printf '%s' "$main")" ] || fail "no block ($how)"
    done
    # The target volume is the Installer's third argument.
    rm -f /tmp/kelvor.conf
    volume="/Volumes/Kelvory Test" postinstall COMMAND_LINE_INSTALL=1
    expect 0 "Kelvory activated: Validation Succeeded"
    grep -q "homedir=/Volumes/Kelvory Test/Applications/" /tmp/kelvor.conf ||
      fail "the block is not for the target volume"
    # A file of our own that the tool refuses (a second link) is not blamed on another user.
    ln /tmp/kelvor.conf "$work/second-link"
    postinstall COMMAND_LINE_INSTALL=1
    expect 3 "Kelvory activation failed (failed, exit 3): Can not create or access the configuration file."
    rm "$work/second-link"
    # A message with ": " in it is logged whole.
    rm -f /tmp/kelvor.conf
    readonly_run=1 postinstall COMMAND_LINE_INSTALL=1
    expect 4 "Kelvory activation failed (config-error, exit 4): Cannot make the activation lock /var/run/kelvory-activate.lock: Read-only file system"
    # Without a package path, and without a profile, the line says that none was given.
    env -u PACKAGE_PATH "$mark" COMMAND_LINE_INSTALL=1 "$work/scripts/postinstall" \
      >"$work/transcript" 2>"$work/stderr"
    status=$?
    # shellcheck disable=SC2016
    expect 5 "Kelvory activation failed (no-activation-data, exit 5): No activation data was found (an activation key, a customer ID or a customer name). Looked at: the managed preferences com.kelvory.activation: no managed preferences are forced for this domain (no package path was given: \$1 and PACKAGE_PATH are empty)"
    # TERM to the script's shell alone, while kelvory-activate retries a server that is down:
    # passed on, kelvory-activate ends (its lock with it) and the one line is still printed.
    echo "<InstallationData><Customer><Name>Demo Customer</Name><ID>1001</ID></Customer>
<Server><URL>127.0.0.1</URL><Port>1</Port></Server></InstallationData>" \
      >"$work/pkg/InstallationData.xml"
    env "$mark" COMMAND_LINE_INSTALL=1 PACKAGE_PATH="$work/pkg/Kelvory.pkg" \
      "$work/scripts/postinstall" "$work/pkg/Kelvory-agent.pkg" / / / >"$work/transcript" \
      2>"$work/stderr" &
    pid=$!
    for _ in $(seq 100); do pgrep -P "$pid" -f kelvory-activate >/dev/null && break; sleep 0.05; done
    sleep 1  # into its rounds
    started=$(date +%s%N)
    kill -TERM "$pid"
    wait "$pid"
    status=$?
    took=$((($(date +%s%N) - started) / 1000000))
    echo "postinstall ended ${took} ms after its TERM"
    [ "$took" -lt 5000 ] || fail "postinstall took ${took} ms to end after TERM"
    no_leftovers
    expect 6 "Kelvory activation failed (interrupted, exit 6): The activation was interrupted; nothing was written"
    ;;
  *) fail "unknown scenario" ;;
esac
echo "ok: $scenario"
