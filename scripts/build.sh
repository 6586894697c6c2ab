#!/bin/sh
# Configures and builds the project. Usage: scripts/build.sh [--asan | --tsan]
#   (default) build/       normal build
#   --asan    build-asan/  AddressSanitizer + UndefinedBehaviorSanitizer
#   --tsan    build-tsan/  ThreadSanitizer, only the validation tests (the thread hand-off)
set -eu
cd "$(dirname "$0")/.."
dir=build
sanitize=""
target=""
case "${1:-}" in
  --asan) dir=build-asan; sanitize="address,undefined" ;;
  --tsan) dir=build-tsan; sanitize="thread"; target="--target validation_test" ;;
  "") ;;
  *) echo "usage: $0 [--asan | --tsan]" >&2; exit 2 ;;
esac
cmake -S . -B "$dir" -DKL_SANITIZE="$sanitize" >/dev/null
# shellcheck disable=SC2086
cmake --build "$dir" -j2 $target
