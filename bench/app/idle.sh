#!/usr/bin/env bash
# The whole spooler at rest: the real program, off screen, on the card printer simulator, with
# no job queued, for a minute, on SQLite and on a throwaway PostgreSQL server on loopback.
# Prints, for each, the program's CPU over the minute (after a settling time) and its
# resident memory at the start and end of it; on PostgreSQL also the server's CPU and the
# logins it accepted in that minute.
#
#   bench/app/idle.sh [BUILD_DIR [SECONDS]]     (default build/ and 60)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
seconds="${2:-60}"
settle=5
tick=$(getconf CLK_TCK)
. "$root/scripts/station-lib.sh"

work=$(mktemp -d /tmp/plinova-bench-idle.XXXXXX)
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
pids=()
pg_dir=""
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    [ -n "$pg_dir" ] && bash "$root/scripts/stop-test-postgres.sh" "$pg_dir" >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

cpu_ns() { # pid: nanoseconds on a CPU, all its threads
    cat /proc/"$1"/task/*/schedstat | awk '{t += $1} END {printf "%d\n", t}'
}
tree_ticks() { # pid: the process with its ended children, and its live children
    local total=0 stat line
    for stat in /proc/[0-9]*/stat; do
        { read -r line <"$stat"; } 2>/dev/null || continue
        set -- ${line##*) }
        if [ "${stat//[^0-9]/}" = "$server_pid" ]; then
            total=$((total + ${12} + ${13} + ${14} + ${15}))
        elif [ "$2" = "$server_pid" ]; then
            total=$((total + ${12} + ${13}))
        fi
    done
    echo "$total"
}
rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }

measure() { # name, plinova-queue station's options for the database
    local name=$1 station="$work/$1"
    shift
    mkdir -p "$station"
    start_cardsim "$station" "$build/tools/cardsim/plinova-cardsim" --quiet
    pids+=("$sim_pid")
    "$build/tools/queue/plinova-queue" station "$station" --station 1 \
        --device "$(cat "$station/device")" --no-autostart "$@" >/dev/null
    (cd "$station" && QT_QPA_PLATFORM=offscreen exec "$build/app/plinova" 2>"$station/stderr") &
    local spooler=$!
    pids+=($spooler)
    sleep "$settle"
    local logins0=0 server0=0
    if [ -n "$server_pid" ]; then
        logins0=$(logins)
        server0=$(tree_ticks)
    fi
    local rss0 cpu0 cpu1 rss1
    rss0=$(rss_kb "$spooler")
    cpu0=$(cpu_ns "$spooler")
    sleep "$seconds"
    cpu1=$(cpu_ns "$spooler")
    rss1=$(rss_kb "$spooler")
    local line
    line=$(awk -v n="$name" -v c=$((cpu1 - cpu0)) -v s="$seconds" -v r0="$rss0" -v r1="$rss1" \
        'BEGIN { printf "%s: spooler CPU %.1f ms in %d s (%.3f %% of a core), resident memory %d kB -> %d kB", n, c / 1e6, s, 100 * c / 1e9 / s, r0, r1 }')
    if [ -n "$server_pid" ]; then
        local server1 logins1
        server1=$(tree_ticks)
        logins1=$(logins)
        line+=$(awk -v c=$((server1 - server0)) -v t="$tick" -v s="$seconds" \
            -v l=$((logins1 - logins0 - 1)) 'BEGIN { printf ", server CPU %.2f s (%.2f %%), server logins %d", c / t, 100 * c / t / s, l }')
    fi
    echo "$line"
    kill "$spooler"
    wait "$spooler" 2>/dev/null || true
    if [ -s "$station/stderr" ]; then
        echo "  the spooler wrote to standard error:"
        sed 's/^/  /' "$station/stderr"
    fi
}

echo "# $(date -u '+%Y-%m-%d %H:%M UTC'), load average $(cut -d' ' -f1-3 /proc/loadavg), $build"
server_pid=""
measure sqlite

eval "$(bash "$root/scripts/start-test-postgres.sh" 55700)"
pg_dir="$PLINOVA_TEST_PG_DIR"
server_pid=$(head -n 1 "$pg_dir/data/postmaster.pid")
as_owner=()
[ "$(id -u)" -eq 0 ] && as_owner=(runuser -u postgres --)
logins() {
    "${as_owner[@]}" /usr/lib/postgresql/15/bin/psql -X -q -t -A -h "$pg_dir" \
        -p "$PLINOVA_TEST_PG_PORT" -U postgres -d postgres \
        -c "SELECT SUM(sessions) FROM pg_stat_database"
}
measure postgresql --udl "$(printf 'Provider=PostgreSQL;Data Source=%s:%s;Initial Catalog=%s;User ID=%s;Password=%s' \
    "$PLINOVA_TEST_PG_HOST" "$PLINOVA_TEST_PG_PORT" "$PLINOVA_TEST_PG_DB" \
    "$PLINOVA_TEST_PG_USER" "$PLINOVA_TEST_PG_PASSWORD")"
