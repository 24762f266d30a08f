#!/usr/bin/env bash
# Regenerates the report golden files from the simulator scenario (review every change by hand).
set -euo pipefail
cd "$(dirname "$0")/../../.."
B="${BUILD_DIR:-build}/bin"; G=tests/reports/golden; H=$(mktemp -d)
$B/tarn-cli --home $H init >/dev/null; printf 'COM1 %s\r\n' "$H/COM1" > $H/Work/PortMap.000
$B/corrector-sim --scenario tools/corrector-sim/scenarios/report-month.json --link $H/COM1 > $H/sim.out 2>&1 & SIM=$!
sleep 1
$B/tarn-cli --home $H store --archives hourly,daily,monthly,abnormal,interference --until-empty >/dev/null
$B/tarn-cli --home $H settings language RU >/dev/null
M=(--made "10.04.2024 08:00:00")
$B/tarn-cli --home $H report --point 04123 --period day --from 05.03.2024 --codes "${M[@]}" --out $G/day-ru.txt
$B/tarn-cli --home $H report --point 04123 --period day --from 05.03.2024 --params "${M[@]}" --out $G/day-params-ru.txt
$B/tarn-cli --home $H report --point 04123 --period period --from 03.03.2024 --to 06.03.2024 --hourly-calc "${M[@]}" --out $G/period-hourly-ru.txt
$B/tarn-cli --home $H report --from-corrector --params --period day --from 10.03.2024 "${M[@]}" --out $G/day-corrector-params-ru.txt
$B/tarn-cli --home $H settings language UA >/dev/null
$B/tarn-cli --home $H report --point 04123 --period month --from 01.03.2024 "${M[@]}" --out $G/month-ua.txt
kill $SIM; rm -rf $H
