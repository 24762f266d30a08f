#!/usr/bin/env bash
# Installs what is missing, builds, lays out a demo installation in ./demo with a simulated corrector
# on COM1, and starts Tarn_B on it. Extra arguments go to Tarn_B.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/install-deps.sh
bash scripts/build.sh
BIN="${BUILD_DIR:-build}/bin"
HOME_DIR="${TARN_DEMO_HOME:-$PWD/demo}"
SCENARIO="${TARN_DEMO_SCENARIO:-$PWD/tools/corrector-sim/scenarios/corrector-year.json}"

FRESH=1
[ -f "$HOME_DIR/Work/FileInRS.000" ] && FRESH=0
"$BIN/tarn-cli" --home "$HOME_DIR" init >/dev/null
# A new demo installation reads every archive with "ЧИТАТЬ ВСЕ"; a user's own choice is kept.
if [ "$FRESH" = 1 ]; then
  "$BIN/tarn-cli" --home "$HOME_DIR" settings set readChoice=1111111111100 >/dev/null
fi
# COM1 of the demo installation is the simulator's pseudo-terminal.
printf 'COM1 %s\r\n' "$HOME_DIR/COM1" > "$HOME_DIR/Work/PortMap.000"

"$BIN/corrector-sim" --scenario "$SCENARIO" --link "$HOME_DIR/COM1" --log "$HOME_DIR/corrector-sim.log" \
  > "$HOME_DIR/corrector-sim.out" 2>&1 &
SIM=$!
trap 'kill $SIM 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "$HOME_DIR/COM1" ] && break; sleep 0.1; done

# A new demo installation also gets the simulated corrector as a metering point and a polling group
# ("Опрос" in the main menu) that polls it every hour of the day.
if [ "$FRESH" = 1 ]; then
  if "$BIN/tarn-cli" --home "$HOME_DIR" store --archives daily >/dev/null 2>"$HOME_DIR/demo-setup.err"; then
    POINT=$("$BIN/tarn-cli" --home "$HOME_DIR" points list | awk 'NR == 1 { print $1 }')
    "$BIN/tarn-cli" --home "$HOME_DIR" group save "Демо" --points "$POINT" --schedule 00:00-00:00-01:00 \
      --flags 0110000000 >/dev/null 2>>"$HOME_DIR/demo-setup.err" || true
  fi
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "no display: starting under Xvfb"
  exec_cmd=(xvfb-run -a "$BIN/Tarn_B" --home "$HOME_DIR" "$@")
else
  exec_cmd=("$BIN/Tarn_B" --home "$HOME_DIR" "$@")
fi
"${exec_cmd[@]}"
