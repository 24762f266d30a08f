#!/usr/bin/env bash
# Renders docs/manual/Tarn.md into resources/installation/Tarn.pdf (the manual a new installation ships).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${BUILD_DIR:-build}"
cmake --build "$BUILD_DIR" --target make-manual
"$BUILD_DIR/bin/make-manual" docs/manual/Tarn.md resources/installation/Tarn.pdf
