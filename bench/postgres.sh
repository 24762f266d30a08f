#!/usr/bin/env bash
# Benchmark, not a test: the table files against a PostgreSQL server on this machine, in the same run,
# each through the program's own code (bench/postgres_bench.cpp):
#   - storing N points' hourly records and days (a year by default: 8760 + 365 a point, 1000 points,
#     9.1 million rows into each) through storeReading(); the server's rate against the files' (goal:
#     the server takes at most twice as long);
#   - a period report of one point over the stored span with the hourly calculation (goal on the server:
#     under 0.3 s);
#   - the group summary of 50 points over a month, hourly and daily (goal on the server: under 1 s).
#
#   bench/postgres.sh [--points N] [--days D] [--repeats R]   (D at least 62, N at least 50)
#   bench/postgres.sh --quick                                  (50 points, 62 days: a minute or two)
#
# The server is a throwaway cluster (tests/support/pg-cluster.sh) in a short folder under /tmp, started
# with the server's own durability defaults (every commit flushed, as the table files flush theirs) and
# removed when the script ends, however it ends. Speed is judged on an optimised build: the benchmark
# builds its own (build-release/, only what it needs) unless BUILD_DIR names another.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${BUILD_DIR:-build-release}"

points=1000
days=365
repeats=5
while [ $# -gt 0 ]; do
  case "$1" in
    --points) points="$2"; shift 2 ;;
    --days) days="$2"; shift 2 ;;
    --repeats) repeats="$2"; shift 2 ;;
    --quick) points=50; days=62; shift ;;
    *) echo "usage: $0 [--points N] [--days D] [--repeats R] | --quick" >&2; exit 2 ;;
  esac
done

if [ ! -f "$BUILD_DIR/build.ninja" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARN_BUILD_TESTS=OFF >/dev/null
fi
ninja -C "$BUILD_DIR" postgres-bench >/dev/null

cluster="$(mktemp -d /tmp/tarn-pgb.XXXXXX)"
trap 'tests/support/pg-cluster.sh stop "$cluster"' EXIT
PG_CLUSTER_DURABLE=1 tests/support/pg-cluster.sh start "$cluster" >/dev/null
if [ -f "$cluster/unavailable" ]; then
  echo "$0: $(cat "$cluster/unavailable")" >&2
  exit 1
fi
url="$(tests/support/pg-cluster.sh url "$cluster")"
url="${url%%&schema=*}&schema=bench"

rows=$(( points * (days * 24 + days) ))
echo "Storing $rows rows into each storage ($points points x $days days)."
if [ "$rows" -gt 1000000 ]; then
  echo "That takes a while (a year of 1000 points: tens of minutes on two cores); progress below." >&2
fi
"$BUILD_DIR/bin/postgres-bench" --url "$url" --points "$points" --days "$days" --repeats "$repeats"
