#!/usr/bin/env bash
# Benchmark, not a test: Tarn_B's start on an installation of 1,000 registered points (each with its
# tables) and a group of 50, against the same start on an installation with an empty registry, in the
# same run, as the program itself reports it (TARN_START_REPORT, offscreen), in two figures: the start
# (the main window up, the wait window gone, the polling console up with its lists and its day board's
# rows) and the board filled (the points' newest records, read on a worker, in the board's lag column).
# The two starts take turns; each figure is the best of REPEATS. The goal: a start under 0.2 s with the
# 1,000 points. The installations are made once under $BUILD_DIR/start-homes (POINTS and MEMBERS to
# change them; delete the folder to make them again). Speed is judged on an optimised build: the
# benchmark builds its own (build-release/, only what it needs) unless BUILD_DIR names another.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${BUILD_DIR:-build-release}"
POINTS="${POINTS:-1000}"
MEMBERS="${MEMBERS:-50}"
REPEATS="${REPEATS:-7}"
if [ ! -f "$BUILD_DIR/build.ninja" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARN_BUILD_TESTS=OFF >/dev/null
fi
ninja -C "$BUILD_DIR" Tarn_B start-setup >/dev/null
homes="$BUILD_DIR/start-homes"
full="$homes/points-$POINTS-group-$MEMBERS"
empty="$homes/empty"
[ -d "$full" ] || { mkdir -p "$full" && "$BUILD_DIR/bin/start-setup" "$full" "$POINTS" "$MEMBERS"; }
[ -d "$empty" ] || { mkdir -p "$empty" && "$BUILD_DIR/bin/start-setup" "$empty" 0 0; }

start() {
  TARN_START_REPORT="$(date +%s%N)" QT_QPA_PLATFORM=offscreen "$BUILD_DIR/bin/Tarn_B" --home "$1" 2>/dev/null
}
# The best of each column: the lines are "start board".
best() { printf '%s\n' "$@" | sort -g | head -1; }
empty_start=(); empty_board=(); full_start=(); full_board=()
for _ in $(seq "$REPEATS"); do
  read -r s b < <(start "$empty"); empty_start+=("$s"); empty_board+=("$b")
  read -r s b < <(start "$full"); full_start+=("$s"); full_board+=("$b")
done
best_full=$(best "${full_start[@]}")
met=$(awk -v f="$best_full" 'BEGIN { print (f < 0.2) ? "met" : "NOT met" }')
printf '%-28s %10s %12s\n' "installation" "start_s" "board_s"
printf '%-28s %10s %12s\n' "empty registry" "$(best "${empty_start[@]}")" "$(best "${empty_board[@]}")"
printf '%-28s %10s %12s  start < 0.2 s: %s\n' "$POINTS points, group of $MEMBERS" "$best_full" \
  "$(best "${full_board[@]}")" "$met"
