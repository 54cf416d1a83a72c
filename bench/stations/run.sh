#!/usr/bin/env bash
# Runs bench_stations for 1, 10, 50, 100 and 200 stations on a throwaway PostgreSQL server on
# loopback (stations as threads), then for 1, 10, 50 and 200 station programs sharing one SQLite
# file. Figures go to standard output.
#
#   bench/stations/run.sh [SECONDS_PER_RUN]      (default 20)
#
# Uses the programs built in $PLINOVA_BUILD_DIR (default build/).
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${PLINOVA_BUILD_DIR:-$root/build}"
seconds="${1:-20}"
bench="$build/bench/stations/bench_stations"
[ -x "$bench" ] || { echo "run.sh: build bench_stations first" >&2; exit 1; }

work=$(mktemp -d /tmp/plinova-bench-stations.XXXXXX)
pg_dir=""
cleanup() {
    [ -n "$pg_dir" ] && bash "$root/scripts/stop-test-postgres.sh" "$pg_dir" >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

eval "$(bash "$root/scripts/start-test-postgres.sh" 55500)"
pg_dir="$PLINOVA_TEST_PG_DIR"
# The link holds the cluster's generated password; it lives only in the temporary folder.
printf 'Provider=PostgreSQL;Data Source=%s:%s;Initial Catalog=%s;User ID=%s;Password=%s\r\n' \
    "$PLINOVA_TEST_PG_HOST" "$PLINOVA_TEST_PG_PORT" "$PLINOVA_TEST_PG_DB" \
    "$PLINOVA_TEST_PG_USER" "$PLINOVA_TEST_PG_PASSWORD" >"$work/pg.udl"
server_pid=$(head -n 1 "$pg_dir/data/postmaster.pid")
echo "# PostgreSQL $(psql --version | awk '{print $3}'), max_connections 100, stations as threads"
for n in 1 10 50 100 200; do
    "$bench" --udl "$work/pg.udl" --stations "$n" --seconds "$seconds" --server-pid "$server_pid" || true
    echo
done

printf 'Provider=SQLite;Data Source=stations.db\r\n' >"$work/sqlite.udl"
echo "# SQLite file shared by station programs"
for n in 1 10 50 200; do
    rm -f "$work/stations.db"
    "$bench" --udl "$work/sqlite.udl" --stations "$n" --seconds "$seconds" --processes || true
    echo
done
