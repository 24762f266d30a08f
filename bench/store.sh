#!/usr/bin/env bash
# Benchmark, not a test: a year of one metering point's hourly records (8760) and days (365) stored
# through the program's own storing (the duplicate check against the stored rows, the check for records
# returned twice, oldest-first order, one transaction per kind, the request-log row), against one bare
# prepared INSERT of the same rows in one transaction, timed in the same run on fresh files (the best of
# REPEATS, the two taking turns so that the machine's other work weighs on both alike). Prints rows,
# seconds and rows/s of both, their ratio (store / bare), and a second store of the same reading, where
# every record is already stored: the cost of the duplicate check, with its time against the first
# store's. The goal is a ratio of at least 0.8, and a second store no slower than the first. Speed is
# judged on an optimised build: the benchmark builds its own (build-release/, only what it needs)
# unless BUILD_DIR names another.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${BUILD_DIR:-build-release}"
if [ ! -f "$BUILD_DIR/build.ninja" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARN_BUILD_TESTS=OFF >/dev/null
fi
ninja -C "$BUILD_DIR" store-bench >/dev/null
exec "$BUILD_DIR/bin/store-bench" "${REPEATS:-3}"
