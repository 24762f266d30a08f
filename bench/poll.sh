#!/usr/bin/env bash
# Benchmark, not a test: a group of 50 cable points (four simulated lines of correctors that pace their
# replies at the line's baud rate) polled twice, as two nights of duty polling. The second night finds
# nothing new, so it is all identification, parameters and the archive checks: any idle gap between steps
# or points shows in the ratio of its time to the wire floor of its traffic (the bytes each way × 10 bits
# ÷ baud, plus the write pause the settings impose before every request). Speed is judged on an optimised
# build: the benchmark builds its own (build-release/, only what it needs) unless BUILD_DIR names another.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${BUILD_DIR:-build-release}"
if [ ! -f "$BUILD_DIR/build.ninja" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARN_BUILD_TESTS=OFF >/dev/null
fi
ninja -C "$BUILD_DIR" tarn-cli corrector-sim >/dev/null
BIN="$BUILD_DIR/bin"
SPEED="${SPEED:-19200}"
WRITE_PAUSE_MS=20 # the settings' default pause before every write

HOME_DIR=$(mktemp -d)
SIMS=()
cleanup() {
  for pid in "${SIMS[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  [ -n "${KEEP:-}" ] && echo "kept $HOME_DIR" >&2 || rm -rf "$HOME_DIR"
}
trap cleanup EXIT

"$BIN/tarn-cli" --home "$HOME_DIR" init >/dev/null
: >"$HOME_DIR/Work/PortMap.000"
for LINE in ${LINES:-1 2 3 4}; do
  printf 'COM%s %s\r\n' "$LINE" "$HOME_DIR/COM$LINE" >>"$HOME_DIR/Work/PortMap.000"
  "$BIN/corrector-sim" --scenario "tools/corrector-sim/scenarios/cable-50-$LINE.json" \
    --link "$HOME_DIR/COM$LINE" --pace >"$HOME_DIR/sim$LINE.out" 2>&1 &
  SIMS+=($!)
done
for LINE in ${LINES:-1 2 3 4}; do
  for _ in $(seq 50); do [ -e "$HOME_DIR/COM$LINE" ] && break; sleep 0.1; done
done

# The points enter the registry as a reading adds them: 14 correctors on each of three lines, 8 on the
# fourth, serial numbers 20001 … 20050.
POINTS=()
SERIAL=20001
for LINE in ${LINES:-1 2 3 4}; do
  COUNT=14
  [ "$LINE" = 4 ] && COUNT=8
  for ADDRESS in $(seq "$COUNT"); do
    "$BIN/tarn-cli" --home "$HOME_DIR" --port "COM$LINE" --speed "$SPEED" --address "$ADDRESS" \
      store --archives daily >/dev/null 2>>"$HOME_DIR/store.err"
    POINTS+=("$SERIAL")
    SERIAL=$((SERIAL + 1))
  done
done
IDS=$(IFS=,; echo "${POINTS[*]}")
"$BIN/tarn-cli" --home "$HOME_DIR" group save Bench --points "$IDS" --flags 0110000000 >/dev/null

night() {
  local start end
  start=$(date +%s.%N)
  "$BIN/tarn-cli" --home "$HOME_DIR" --trace "$HOME_DIR/trace$1.txt" poll --group Bench \
    >"$HOME_DIR/night$1.out" 2>"$HOME_DIR/night$1.err" || true
  end=$(date +%s.%N)
  echo "$start $end"
}
night 1 >/dev/null
read -r START END < <(night 2)
NORMAL=$(grep -c "норма" "$HOME_DIR/night2.out" || true)

# The trace gives every frame's byte count ("=N ::") under "->" (sent) and "<-" (received).
printf '%-8s %7s %10s %10s %7s %9s\n' speed points seconds floor ratio requests
LC_ALL=C awk -v start="$START" -v end="$END" -v baud="$SPEED" -v pause="$WRITE_PAUSE_MS" \
  -v speed="$SPEED" -v points="$NORMAL" '
  /^-> .*=[0-9]+ ::/ { match($0, /=[0-9]+ ::/); sent += substr($0, RSTART + 1, RLENGTH - 4); requests++ }
  /^<- .*=[0-9]+ ::/ { match($0, /=[0-9]+ ::/); received += substr($0, RSTART + 1, RLENGTH - 4) }
  END {
    seconds = end - start
    floor = (sent + received) * 10 / baud + requests * pause / 1000
    printf "%-8s %7d %10.2f %10.2f %7.3f %9d\n", speed, points, seconds, floor, seconds / floor, requests
  }' "$HOME_DIR/trace2.txt"
