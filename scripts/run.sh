#!/bin/sh
# Installs what is needed, builds, and runs the main job: the key tool on a sample key
# (until the installer host exists).
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
# A sample key for two documentation-range servers, appliance 42, agent type 1.
key=$(build/kelvory-keytool encode --endpoint https://192.0.2.10:8443 --endpoint 192.0.2.11 \
  --appliance-id 42 --type 1 --token sample)
echo "Sample activation key: $key"
build/kelvory-keytool decode "$key"
