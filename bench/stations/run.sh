#!/usr/bin/env bash
# Runs bench_stations against a throwaway PostgreSQL server on loopback (stations as threads,
# max_connections raised to 1200) in three set-ups, then against one SQLite file shared by
# station programs. Figures go to standard output; the "RESULT" lines also to
# $PLINOVA_BUILD_DIR/bench-stations.txt, the form bench/stations/figures.txt keeps them in.
#
#   bench/stations/run.sh [SECONDS_PER_RUN [SETUP...]]     (default 20; every set-up)
#
# Set-ups, and the station counts each runs (override with the variables named):
#   unpooled   straight to the server, a login for every connect ("OLE DB Services=-2")
#              $UNPOOLED_N, default 1 10 50 100 200
#   direct     straight to the server, connections kept for reuse      $DIRECT_N
#   pgbouncer  through PgBouncer in transaction pooling, started here   $POOLED_N
#   sqlite     station programs sharing one SQLite file                 $SQLITE_N
# DIRECT_N and POOLED_N default to 1 10 50 100 200 500 1000; SQLITE_N to 1 10 50 200.
# Each run is measured from $WARMUP seconds (default 5) after every station has finished its
# first cycle (and so its first login). Uses the programs built in $PLINOVA_BUILD_DIR (default build/); installs PgBouncer
# and gnuplot (scripts/install-bench-deps.sh).
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${PLINOVA_BUILD_DIR:-$root/build}"
seconds="${1:-20}"
shift || true
setups=("$@")
[ ${#setups[@]} -gt 0 ] || setups=(unpooled direct pgbouncer sqlite)
warmup="${WARMUP:-5}"
bench="$build/bench/stations/bench_stations"
results="$build/bench-stations.txt"
[ -x "$bench" ] || { echo "run.sh: build bench_stations first" >&2; exit 1; }
bash "$root/scripts/install-bench-deps.sh"

pgbin=/usr/lib/postgresql/15/bin
as_owner=()
[ "$(id -u)" -eq 0 ] && as_owner=(runuser -u postgres --)
work=$(mktemp -d /tmp/plinova-bench-stations.XXXXXX)
chmod 755 "$work"
pg_dir=""
cleanup() {
    if [ -f "$work/pgbouncer.pid" ]; then kill "$(cat "$work/pgbouncer.pid")" 2>/dev/null || true; fi
    [ -n "$pg_dir" ] && bash "$root/scripts/stop-test-postgres.sh" "$pg_dir" >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
# A thousand stations hold a thousand sockets, in this program and in the pooler.
ulimit -n "$(ulimit -Hn)"

eval "$(bash "$root/scripts/start-test-postgres.sh" 55500)"
pg_dir="$PLINOVA_TEST_PG_DIR"
"${as_owner[@]}" "$pgbin/psql" -X -q -h "$pg_dir" -p "$PLINOVA_TEST_PG_PORT" -U postgres -d postgres \
    -c "ALTER SYSTEM SET max_connections = 1200" >/dev/null
"${as_owner[@]}" "$pgbin/pg_ctl" -D "$pg_dir/data" -w -t 60 restart >/dev/null
server_pid=$(head -n 1 "$pg_dir/data/postmaster.pid")

# The links hold the cluster's generated password; they live only in the temporary folder.
link() { # port, extra properties
    printf 'Provider=PostgreSQL;Data Source=%s:%s;Initial Catalog=%s;User ID=%s;Password=%s%s\r\n' \
        "$PLINOVA_TEST_PG_HOST" "$1" "$PLINOVA_TEST_PG_DB" "$PLINOVA_TEST_PG_USER" \
        "$PLINOVA_TEST_PG_PASSWORD" "$2"
}
link "$PLINOVA_TEST_PG_PORT" "" >"$work/direct.udl"
link "$PLINOVA_TEST_PG_PORT" ";OLE DB Services=-2" >"$work/unpooled.udl"

bouncer_port=$((PLINOVA_TEST_PG_PORT + 100))
while (exec 3<>"/dev/tcp/127.0.0.1/$bouncer_port") 2>/dev/null; do bouncer_port=$((bouncer_port + 1)); done
cat >"$work/pgbouncer.ini" <<INI
[databases]
$PLINOVA_TEST_PG_DB = host=127.0.0.1 port=$PLINOVA_TEST_PG_PORT dbname=$PLINOVA_TEST_PG_DB

[pgbouncer]
listen_addr = 127.0.0.1
listen_port = $bouncer_port
unix_socket_dir =
auth_type = scram-sha-256
auth_file = $work/userlist.txt
pool_mode = transaction
max_client_conn = 2000
default_pool_size = 20
logfile = $work/pgbouncer.log
pidfile = $work/pgbouncer.pid
INI
printf '"%s" "%s"\n' "$PLINOVA_TEST_PG_USER" "$PLINOVA_TEST_PG_PASSWORD" >"$work/userlist.txt"
chmod 600 "$work/userlist.txt"
[ "$(id -u)" -eq 0 ] && chown postgres "$work" "$work/pgbouncer.ini" "$work/userlist.txt"
link "$bouncer_port" "" >"$work/pgbouncer.udl"

run() { # label, link, stations, extra options
    local label=$1 udl=$2 n=$3
    shift 3
    "$bench" --label "$label" --udl "$udl" --stations "$n" --seconds "$seconds" \
        --warmup "$warmup" --server-pid "$server_pid" --server-udl "$work/direct.udl" "$@" |
        tee -a "$work/out.txt" || true
    echo
}

echo "# $(date -u '+%Y-%m-%d %H:%M UTC'), load average $(cut -d' ' -f1-3 /proc/loadavg)" |
    tee "$work/out.txt"
for setup in "${setups[@]}"; do
    case "$setup" in
    unpooled)
        echo "# PostgreSQL $(psql --version | awk '{print $3}'), a login for every connect"
        for n in ${UNPOOLED_N:-1 10 50 100 200}; do run unpooled "$work/unpooled.udl" "$n"; done
        ;;
    direct)
        echo "# PostgreSQL, connections kept for reuse"
        for n in ${DIRECT_N:-1 10 50 100 200 500 1000}; do run direct "$work/direct.udl" "$n"; done
        ;;
    pgbouncer)
        "${as_owner[@]}" sh -c "ulimit -n $(ulimit -Hn) && exec pgbouncer -d '$work/pgbouncer.ini'"
        for _ in $(seq 100); do [ -s "$work/pgbouncer.pid" ] && break; sleep 0.1; done
        if [ ! -s "$work/pgbouncer.pid" ]; then
            echo "run.sh: PgBouncer did not start" >&2
            cat "$work/pgbouncer.log" >&2 2>/dev/null || true
            exit 1
        fi
        echo "# PgBouncer $(pgbouncer --version | head -n 1 | awk '{print $2}'), transaction pooling, 20 server connections"
        for n in ${POOLED_N:-1 10 50 100 200 500 1000}; do
            run pgbouncer "$work/pgbouncer.udl" "$n" --pooler-pid "$(cat "$work/pgbouncer.pid")"
        done
        ;;
    sqlite)
        printf 'Provider=SQLite;Data Source=stations.db\r\n' >"$work/sqlite.udl"
        echo "# SQLite file shared by station programs"
        for n in ${SQLITE_N:-1 10 50 200}; do
            rm -f "$work/stations.db"
            "$bench" --label sqlite --udl "$work/sqlite.udl" --stations "$n" --seconds "$seconds" \
                --warmup "$warmup" --processes | tee -a "$work/out.txt" || true
            echo
        done
        ;;
    *)
        echo "run.sh: unknown set-up '$setup'" >&2
        exit 2
        ;;
    esac
done
grep '^RESULT ' "$work/out.txt" | sed 's/^RESULT //' >"$results" || true
echo "# figures in $results"
