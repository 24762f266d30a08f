#!/usr/bin/env bash
# A throwaway PostgreSQL cluster for the tests, in a folder of its own:
#
#   pg-cluster.sh start DIR   makes the cluster in DIR, starts it and prints its URL
#   pg-cluster.sh stop DIR    stops it and removes DIR
#   pg-cluster.sh url DIR     prints the URL (export TARN_TEST_PG_URL="$(pg-cluster.sh url DIR)")
#
# The server listens on a Unix socket in DIR only, so two runs with two folders never fight over a TCP
# port, and it trusts whoever reaches that socket (the folder is the caller's alone). DIR must be short:
# the socket's path must fit in 107 bytes. initdb refuses to run as root, so under root (CI) the server
# runs as the system user postgres, which the server's package makes.
#
# When the server's programs are not installed, start writes why into DIR/unavailable and succeeds: the
# tests that need the server then skip with that reason, and say so, instead of failing on a machine that
# was never meant to run them (scripts/install-deps.sh installs them).
set -euo pipefail

usage() {
  echo "usage: $0 start|stop|url DIR" >&2
  exit 2
}
[ $# -eq 2 ] || usage
action="$1"
dir="$2"
case "$dir" in
  /*) ;;
  *) echo "$0: DIR must be an absolute path" >&2; exit 2 ;;
esac

readonly superuser=tarn database=tarn_test

url() {
  echo "postgresql://$superuser@/$database?host=$dir&schema=$database"
}

has_server_programs() {
  [ -x "$1/initdb" ] && [ -x "$1/pg_ctl" ] && [ -x "$1/createdb" ]
}

# The folder of the server's programs: PG_BINDIR when set, else the newest of Debian's versioned folders,
# else the PATH's; empty when there are none.
find_bindir() {
  if [ -n "${PG_BINDIR:-}" ]; then
    if has_server_programs "$PG_BINDIR"; then echo "$PG_BINDIR"; fi
    return
  fi
  local newest=""
  for d in $(printf '%s\n' /usr/lib/postgresql/*/bin | sort -V); do
    if has_server_programs "$d"; then newest="$d"; fi
  done
  if [ -z "$newest" ] && command -v initdb >/dev/null; then
    local d
    d="$(dirname "$(command -v initdb)")"
    if has_server_programs "$d"; then newest="$d"; fi
  fi
  echo "$newest"
}

# Runs a server program as the cluster's owner, from a folder that owner may enter.
as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    (cd / && runuser -u postgres -- "$@")
  else
    (cd / && "$@")
  fi
}

stop_cluster() {
  local bindir
  bindir="$(find_bindir)"
  if [ -f "$dir/data/postmaster.pid" ] && [ -n "$bindir" ]; then
    # Immediate: nothing in it is worth a checkpoint.
    as_owner "$bindir/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
  fi
  rm -rf "$dir"
}

case "$action" in
  url)
    url
    ;;
  stop)
    stop_cluster
    ;;
  start)
    # What an earlier run that was killed left behind.
    stop_cluster
    mkdir -p "$dir"
    chmod 700 "$dir"
    bindir="$(find_bindir)"
    if [ -z "$bindir" ]; then
      echo "PostgreSQL's server programs (initdb, pg_ctl, createdb) are not installed${PG_BINDIR:+ in $PG_BINDIR}:" \
        "install postgresql-15 (scripts/install-deps.sh)" >"$dir/unavailable"
      echo "$0: $(cat "$dir/unavailable"); the tests that need the server will skip" >&2
      exit 0
    fi
    if [ "$(id -u)" -eq 0 ]; then
      if ! id postgres >/dev/null 2>&1; then
        echo "$0: running as root, but there is no user postgres to run the server as" >&2
        exit 1
      fi
      chown postgres: "$dir"
    fi
    # No fsync anywhere: the cluster lives as long as one test run. PG_CLUSTER_DURABLE=1 keeps the
    # server's own defaults (each commit flushed to disk), for a benchmark that compares it with files
    # that are flushed as well.
    # PG_CLUSTER_SETTINGS adds the caller's own (-c name=value …), such as a server sized for its
    # database.
    durability="-c fsync=off -c full_page_writes=off -c synchronous_commit=off"
    if [ "${PG_CLUSTER_DURABLE:-0}" = 1 ]; then durability=""; fi
    settings="$durability ${PG_CLUSTER_SETTINGS:-}"
    if ! as_owner "$bindir/initdb" -D "$dir/data" -U "$superuser" -A trust -E UTF8 --locale=C -N \
      >"$dir/initdb.log" 2>&1; then
      cat "$dir/initdb.log" >&2
      exit 1
    fi
    if ! as_owner "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
      -o "-c listen_addresses='' -c unix_socket_directories='$dir' $settings" \
      start >/dev/null; then
      cat "$dir/server.log" >&2 || true
      exit 1
    fi
    as_owner "$bindir/createdb" -h "$dir" -U "$superuser" "$database"
    url
    ;;
  *)
    usage
    ;;
esac
