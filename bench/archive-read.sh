#!/usr/bin/env bash
# Benchmark, not a test: a full read of all seven archives (with the identification and the parameters
# before them) from the simulated corrector, which paces its replies at the line's baud rate, against
# the wire floor: the bytes each way × 10 bits ÷ baud, plus the write pause the settings impose before
# every request. Prints seconds, the floor and their ratio for each speed. Speed is judged on an optimised
# build: the benchmark builds its own (build-release/, only what it needs) unless BUILD_DIR names another.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${BUILD_DIR:-build-release}"
if [ ! -f "$BUILD_DIR/build.ninja" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARN_BUILD_TESTS=OFF >/dev/null
fi
ninja -C "$BUILD_DIR" tarn-cli corrector-sim >/dev/null
BIN="$BUILD_DIR/bin"
SCENARIO="${1:-tools/corrector-sim/scenarios/corrector.json}"
SPEEDS="${SPEEDS:-19200 115200}"
WRITE_PAUSE_MS=20 # the settings' default pause before every write

printf '%-8s %10s %10s %7s %9s\n' speed seconds floor ratio requests
for SPEED in $SPEEDS; do
  HOME_DIR=$(mktemp -d)
  "$BIN/tarn-cli" --home "$HOME_DIR" init >/dev/null
  printf 'COM1 %s\r\n' "$HOME_DIR/COM1" >"$HOME_DIR/Work/PortMap.000"
  "$BIN/corrector-sim" --scenario "$SCENARIO" --link "$HOME_DIR/COM1" --pace >"$HOME_DIR/sim.out" 2>&1 &
  SIM=$!
  for _ in $(seq 50); do [ -e "$HOME_DIR/COM1" ] && break; sleep 0.1; done
  START=$(date +%s.%N)
  "$BIN/tarn-cli" --home "$HOME_DIR" --speed "$SPEED" --trace "$HOME_DIR/trace.txt" read --archives all \
    >/dev/null 2>"$HOME_DIR/cli.err"
  END=$(date +%s.%N)
  kill "$SIM" 2>/dev/null || true
  wait "$SIM" 2>/dev/null || true
  # The trace gives every frame's byte count ("=N ::") under "->" (sent) and "<-" (received).
  LC_ALL=C awk -v start="$START" -v end="$END" -v baud="$SPEED" -v pause="$WRITE_PAUSE_MS" -v speed="$SPEED" '
    /^-> .*=[0-9]+ ::/ { match($0, /=[0-9]+ ::/); sent += substr($0, RSTART + 1, RLENGTH - 4); requests++ }
    /^<- .*=[0-9]+ ::/ { match($0, /=[0-9]+ ::/); received += substr($0, RSTART + 1, RLENGTH - 4) }
    END {
      seconds = end - start
      floor = (sent + received) * 10 / baud + requests * pause / 1000
      printf "%-8s %10.2f %10.2f %7.3f %9d\n", speed, seconds, floor, seconds / floor, requests
    }' "$HOME_DIR/trace.txt"
  rm -rf "$HOME_DIR"
done
