#!/usr/bin/env bash
# Benchmark, not a test: the group views over a group of 50 points, each with a year of records (8760
# hours, 365 days, 120 abnormal situations) stored once per run through the program's own storing: the
# group summary of the year by day and of a month by hour (with the first ten members' tables), and the
# group alarm table of the year, each against the plain SELECT of the same rows from the same files,
# timed in the same run (the best of REPEATS, the two taking turns so that the machine's other work
# weighs on both alike). Prints rows, seconds of both and their ratio (view / SELECT). The goal: each
# view under 1 s. Speed is judged on an optimised build: the benchmark builds its own (build-release/,
# only what it needs) unless BUILD_DIR names another.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${BUILD_DIR:-build-release}"
if [ ! -f "$BUILD_DIR/build.ninja" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARN_BUILD_TESTS=OFF >/dev/null
fi
ninja -C "$BUILD_DIR" group-bench >/dev/null
exec "$BUILD_DIR/bin/group-bench" "${REPEATS:-5}"
