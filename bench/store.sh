#!/usr/bin/env bash
# Benchmark, not a test: a year of one metering point's hourly records (8760) and days (365) stored
# through the program's own storing (the duplicate check against the stored rows, the check for records
# returned twice, oldest-first order, one transaction per kind, the request-log row), against one bare
# prepared INSERT of the same rows in one transaction, timed in the same run on fresh files (the best of
# REPEATS). Prints rows, seconds and rows/s of both, their ratio (store / bare), and a second store of
# the same reading, where every record is already stored: the cost of the duplicate check. The goal is
# at least 50,000 rows/s and a ratio of at least 0.5. Needs a build (./test.sh); builds nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
BIN="${BUILD_DIR:-build}/bin"
exec "$BIN/store-bench" "${REPEATS:-3}"
