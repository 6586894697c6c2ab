#!/bin/sh
# Every example in packaging/macos/examples/ passes `kelvory-keytool doctor --strict` (no probe):
# the examples administrators copy must activate as they stand and draw no warning. The form
# comes from the name: .xml a pre-fill file, .txt its key=value text form, .plist and
# .mobileconfig managed preferences. Needs build/kelvory-keytool (scripts/test.sh builds it).
set -eu
cd "$(dirname "$0")/../.."
keytool=build/kelvory-keytool
failed=0
for example in packaging/macos/examples/*; do
  case "$example" in
    *.xml) set -- --data "$example" ;;
    *.txt) set -- --data "$example" --text ;;
    *.plist | *.mobileconfig) set -- --managed-preferences "$example" ;;
    *) echo "check-examples: $example: no known form" >&2; failed=1; continue ;;
  esac
  if report=$("$keytool" doctor --strict "$@" 2>&1); then
    echo "ok: $example"
  else
    printf 'FAILED: %s\n%s\n' "$example" "$report" >&2
    failed=1
  fi
done
exit "$failed"
