#!/bin/sh
# Configures and builds the project from a preset of CMakePresets.json, where the build flags
# live. Usage: scripts/build.sh [--asan | --tsan]
#   (default) build/       normal build
#   --asan    build-asan/  AddressSanitizer + UndefinedBehaviorSanitizer
#   --tsan    build-tsan/  ThreadSanitizer, only the validation tests (the thread hand-off)
set -eu
cd "$(dirname "$0")/.."
case "${1:-}" in
  --asan) preset=asan ;;
  --tsan) preset=tsan ;;
  "") preset=default ;;
  *) echo "usage: $0 [--asan | --tsan]" >&2; exit 2 ;;
esac
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
