#!/bin/sh
# Builds and runs the benchmarks (bench/) and prints their figures.
# Usage: scripts/bench.sh [--once] [Google Benchmark options, e.g. --benchmark_filter=Key]
#   --once  one short pass of each: shows that they build and run (CI); the figures mean little
# KL_BUILD_DIR picks the build directory (default build), KL_JOBS its parallel jobs (default 2).
set -eu
cd "$(dirname "$0")/.."
dir=${KL_BUILD_DIR:-build}
if [ "$dir" = build ]; then cmake --preset default >/dev/null; else cmake -S . -B "$dir" >/dev/null; fi
cmake --build "$dir" --target kl_bench -j"${KL_JOBS:-2}" >/dev/null
if [ "${1:-}" = "--once" ]; then
  shift
  set -- --benchmark_min_time=0 "$@"
fi
exec "$dir/bench/kl_bench" "$@"
