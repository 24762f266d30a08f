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
#   bench/postgres.sh [--points N] [--days D] [--repeats R] [--defaults]   (D at least 62, N at least 50)
#   bench/postgres.sh --quick                                  (50 points, 62 days: a minute or two)
#
# The server is a throwaway cluster (tests/support/pg-cluster.sh) in a short folder under /tmp, removed
# when the script ends, however it ends. It keeps the server's durability (every commit flushed, as the
# table files flush theirs: synchronous_commit, fsync and full_page_writes on) and is sized as an
# administrator sizes a server for a database of this size (the manual's "Налаштування сервера";
# --defaults for the settings a new cluster comes with). At the end the server's own statistics of the
# appending statements (pg_stat_statements) and of its checkpoints are printed. Speed is judged on an
# optimised build: the benchmark builds its own (build-release/, only what it needs) unless BUILD_DIR
# names another.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${BUILD_DIR:-build-release}"

points=1000
days=365
repeats=5
sized=1
while [ $# -gt 0 ]; do
  case "$1" in
    --points) points="$2"; shift 2 ;;
    --days) days="$2"; shift 2 ;;
    --repeats) repeats="$2"; shift 2 ;;
    --quick) points=50; days=62; shift ;;
    --defaults) sized=0; shift ;;
    *) echo "usage: $0 [--points N] [--days D] [--repeats R] [--defaults] | --quick" >&2; exit 2 ;;
  esac
done

if [ ! -f "$BUILD_DIR/build.ninja" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARN_BUILD_TESTS=OFF >/dev/null
fi
ninja -C "$BUILD_DIR" postgres-bench >/dev/null

cluster="$(mktemp -d /tmp/tarn-pgb.XXXXXX)"
trap 'tests/support/pg-cluster.sh stop "$cluster"' EXIT
# The manual's recommended settings for a server of some ten million rows on a machine of 16-32 GB
# (docs/manual/Tarn.md, "Налаштування сервера", says why each); durability stays the server's default,
# and is named here so that no one reads the figures as those of a server that may lose a commit.
settings="-c synchronous_commit=on -c fsync=on -c full_page_writes=on"
if [ "$sized" = 1 ]; then
  settings="$settings -c shared_buffers=2GB -c effective_cache_size=12GB"
  settings="$settings -c max_wal_size=8GB -c min_wal_size=1GB -c checkpoint_timeout=15min"
  settings="$settings -c checkpoint_completion_target=0.9 -c wal_compression=lz4"
  settings="$settings -c effective_io_concurrency=200 -c random_page_cost=1.1"
  settings="$settings -c maintenance_work_mem=512MB -c work_mem=32MB"
fi
settings="$settings -c shared_preload_libraries=pg_stat_statements"
PG_CLUSTER_DURABLE=1 PG_CLUSTER_SETTINGS="$settings" tests/support/pg-cluster.sh start "$cluster" >/dev/null
if [ -f "$cluster/unavailable" ]; then
  echo "$0: $(cat "$cluster/unavailable")" >&2
  exit 1
fi
url="$(tests/support/pg-cluster.sh url "$cluster")"
url="${url%%&schema=*}&schema=bench"
sql() { psql -X -q -h "$cluster" -U tarn -d tarn_test -v ON_ERROR_STOP=1 "$@"; }
sql -c "CREATE EXTENSION pg_stat_statements" >/dev/null

rows=$(( points * (days * 24 + days) ))
echo "Storing $rows rows into each storage ($points points x $days days)."
if [ "$rows" -gt 1000000 ]; then
  echo "That takes a while (a year of 1000 points: tens of minutes on two cores); progress below." >&2
fi
"$BUILD_DIR/bin/postgres-bench" --url "$url" --points "$points" --days "$days" --repeats "$repeats"

# The server's own account of the appending: each INSERT statement's time and WAL per row (the seed
# records' one-row statements among them, hence the calls), and how often it checkpointed.
echo
echo "The server's statistics (pg_stat_statements, pg_stat_bgwriter):"
sql -P footer=off -c "
  SELECT substring(query FROM 'INSERT INTO ([a-z_]+)') AS insert_into, calls, rows,
         round((total_exec_time / 1000)::numeric, 1) AS seconds,
         round((1000 * total_exec_time / nullif(rows, 0))::numeric, 1) AS us_per_row,
         round(wal_bytes / nullif(rows, 0)) AS wal_bytes_per_row,
         round(wal_fpi::numeric / nullif(rows, 0), 3) AS full_pages_per_row
    FROM pg_stat_statements
   WHERE query LIKE '%INSERT INTO %' AND rows > 0
   ORDER BY total_exec_time DESC LIMIT 4"
sql -P footer=off -c "
  SELECT checkpoints_timed, checkpoints_req, buffers_checkpoint, buffers_backend,
         pg_size_pretty(pg_database_size(current_database())) AS database,
         current_setting('shared_buffers') AS shared_buffers, current_setting('max_wal_size') AS max_wal_size
    FROM pg_stat_bgwriter"
