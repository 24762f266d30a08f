#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
#   --sanitize  the same in build-sanitize/, everything built with AddressSanitizer and
#               UndefinedBehaviorSanitizer (a first build takes long: see README)
set -euo pipefail
cd "$(dirname "$0")"
timeout=300
if [ "${1:-}" = "--sanitize" ]; then
  export BUILD_DIR="${BUILD_DIR:-build-sanitize}" TARN_SANITIZE=ON
  export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"
  # The sanitizers slow every test several times over.
  timeout=1200
elif [ $# -gt 0 ]; then
  echo "usage: $0 [--sanitize]" >&2
  exit 2
fi
bash scripts/install-deps.sh
bash scripts/build.sh
cd "${BUILD_DIR:-build}"
# Most tests wait on the programs they start, the simulator's line or a database file rather than
# compute, so twice as many run as there are cores.
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(( $(nproc) * 2 ))" --timeout "$timeout"
