#!/usr/bin/env bash
# Re-makes the fuzz targets' seed corpus in tests/fuzz/corpus/ from the simulator and the program's own
# writers (BUILD_DIR, build/ by default). Regression inputs in tests/fuzz/regressions/ are left alone.
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD_DIR="${BUILD_DIR:-build}"
cmake --build "$BUILD_DIR" --target fuzz-corpus
rm -rf tests/fuzz/corpus
"$BUILD_DIR/bin/fuzz-corpus" tests/fuzz/corpus
