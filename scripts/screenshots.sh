#!/bin/bash
# Remakes the README's screenshots in docs/ with the installer host's screenshot step, against
# the management server simulator on loopback.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
build=$(pwd)/build
work=$(mktemp -d)
trap 'kl_sim_stop; rm -rf "$work"' EXIT
kl_sim_start "$build/kelvory-mgmt-sim" "$work/sim.out" /dev/null || true
port=$kl_sim_port
key=$("$build/kelvory-keytool" encode --endpoint "https://127.0.0.1:8443" --appliance-id 42 \
  --type 1 --token screenshot)
docs=$(pwd)/docs
mkdir -p "$docs"
# The keyboard focus shows: the key field has it on entry; in the customer form, Tab has moved
# it from the form choice to the customer ID.
cat >"$work/script" <<SCRIPT
type klActivationKeyField $key
screenshot $docs/activation-key.png
select klActivationMatrix 1 0
type klCustomerNameField Demo Customer
type klCustomerIdField 1001
type klServerURLField 127.0.0.2,127.0.0.1
type klServerPortField $port
select klProxyMatrix 1 0
type klProxyField proxy.example.invalid:3128
key tab
key tab
key tab
focus
screenshot $docs/activation-customer-proxy.png
select klProxyMatrix 0 0
continue
wait
screenshot $docs/validation-succeeded.png
back
type klCustomerIdField 4242
continue
wait
screenshot $docs/validation-failed.png
SCRIPT
"$build/kelvory-installer" --package "$work/none/Kelvory.pkg" --script "$work/script" \
  2>/dev/null || true
# The customer form with a proxy in German, French and Spanish, as the Installer shows it on a
# Mac in that language. Not Japanese: the machines here have no Japanese font, and GNUstep draws
# its characters as question marks.
for language in de fr es; do
  cat >"$work/script" <<SCRIPT
select klActivationMatrix 1 0
type klCustomerNameField Demo Customer
type klCustomerIdField 1001
type klServerURLField 127.0.0.2,127.0.0.1
type klServerPortField $port
select klProxyMatrix 1 0
type klProxyField proxy.example.invalid:3128
screenshot $docs/activation-customer-proxy-$language.png
SCRIPT
  "$build/kelvory-installer" --package "$work/none/Kelvory.pkg" --script "$work/script" \
    --language "$language" 2>/dev/null || true
done
ls -l "$docs"
