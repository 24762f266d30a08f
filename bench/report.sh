#!/usr/bin/env bash
# Benchmark, not a test: a period report over a year, then over ten years, of one point's stored hourly
# records with the hourly calculation, against the plain SELECT of the same rows, timed in the same run
# (the best of REPEATS). Prints both and their ratio. The goals: a year's report under 0.3 s and under 3
# times the SELECT; ten years' under 0.5 s and under 1.5 times the SELECT. Speed is
# judged on an optimised build: the benchmark builds its own (build-release/, only what it needs) unless
# BUILD_DIR names another.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${BUILD_DIR:-build-release}"
if [ ! -f "$BUILD_DIR/build.ninja" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARN_BUILD_TESTS=OFF >/dev/null
fi
ninja -C "$BUILD_DIR" report-bench >/dev/null
exec "$BUILD_DIR/bin/report-bench" "${REPEATS:-5}"
