#!/usr/bin/env bash
# Builds the Debian packages from the build tree: tarn_VERSION_amd64.deb (the programs, the manual, the
# desktop entries and the duty-polling service) and tarn-sim_VERSION_amd64.deb (the simulator).
#   scripts/package.sh [--no-build]   BUILD_DIR (build), OUT_DIR (BUILD_DIR/packages)
# --no-build takes the tree as it is (the package test, which runs after the build). The packages are
# made from whatever build type the tree has; CPack strips the programs it puts in them.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${BUILD_DIR:-build}"
OUT_DIR="${OUT_DIR:-$BUILD_DIR/packages}"
if [ "${1:-}" != "--no-build" ]; then
  bash scripts/build.sh
fi
mkdir -p "$OUT_DIR"
OUT_DIR="$(cd "$OUT_DIR" && pwd)"
# CPack's staging folder goes beside the packages, so two package builds never share one.
rm -rf "$OUT_DIR/staging"
cpack -G DEB --config "$BUILD_DIR/CPackConfig.cmake" -B "$OUT_DIR/staging" >"$OUT_DIR/cpack.log" 2>&1 || {
  cat "$OUT_DIR/cpack.log" >&2
  exit 1
}
rm -f "$OUT_DIR"/*.deb
mv "$OUT_DIR"/staging/*.deb "$OUT_DIR"/
rm -rf "$OUT_DIR/staging"
ls "$OUT_DIR"/*.deb
