#!/usr/bin/env bash
# Configures and builds into build/ (BUILD_DIR to change it; TARN_SANITIZE=ON for a sanitizer build).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${BUILD_DIR:-build}"
if [ ! -f "$BUILD_DIR/build.ninja" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-Debug}" -DTARN_SANITIZE="${TARN_SANITIZE:-OFF}"
fi
cmake --build "$BUILD_DIR" -j "$(nproc)"
