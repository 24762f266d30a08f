#!/usr/bin/env bash
# Fuzzes every parser target for SECONDS each (60 by default) in build-sanitize/ (BUILD_DIR to change it),
# built with AddressSanitizer and UndefinedBehaviorSanitizer: the first report stops a target. FUZZ_SEED
# repeats a run (the seed is printed). An input that breaks a target is left in
# $BUILD_DIR/fuzz-artifacts/crash-*; once the parser is fixed it goes into tests/fuzz/regressions/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."
EACH="${1:-60}"
BUILD_DIR="${BUILD_DIR:-build-sanitize}"
FUZZ_SEED="${FUZZ_SEED:-$(date +%s)}"
targets=(frames archive_pages parameter_pages parameter_files packages text_settings groups address_book)

if [ ! -f "$BUILD_DIR/build.ninja" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTARN_SANITIZE=ON
fi
cmake --build "$BUILD_DIR" -j "$(nproc)" --target "${targets[@]/#/fuzz_}"

artifacts="$BUILD_DIR/fuzz-artifacts"
mkdir -p "$artifacts"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"
echo "fuzz: ${EACH} s a target, seed ${FUZZ_SEED}"
failed=()
for t in "${targets[@]}"; do
  inputs=("tests/fuzz/corpus/$t")
  [ -d "tests/fuzz/regressions/$t" ] && inputs+=("tests/fuzz/regressions/$t")
  if ! QT_QPA_PLATFORM=offscreen "$BUILD_DIR/bin/fuzz_$t" --seconds "$EACH" --seed "$FUZZ_SEED" \
      --artifacts "$artifacts" "${inputs[@]}"; then
    failed+=("$t")
  fi
done
if [ "${#failed[@]}" -gt 0 ]; then
  echo "fuzz: failed: ${failed[*]} (inputs in $artifacts)" >&2
  exit 1
fi
