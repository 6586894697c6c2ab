#!/bin/sh
# Configures and builds the project. Usage: scripts/build.sh [--asan]
#   (default) build/       normal build
#   --asan    build-asan/  AddressSanitizer + UndefinedBehaviorSanitizer
set -eu
cd "$(dirname "$0")/.."
dir=build
sanitize=""
case "${1:-}" in
  --asan) dir=build-asan; sanitize="address,undefined" ;;
  "") ;;
  *) echo "usage: $0 [--asan]" >&2; exit 2 ;;
esac
cmake -S . -B "$dir" -DKL_SANITIZE="$sanitize" >/dev/null
cmake --build "$dir" -j2
