#!/usr/bin/env bash
# Soak run: the real spooler against the card printer simulator on the embedded database,
# with a producer queuing a job every few seconds. Samples the spooler's resident memory and
# open file descriptors, then checks that every job queued was printed once and logged once.
#
#   scripts/soak.sh [--duration SECONDS] [--interval SECONDS] [--out DIR]
#
# Defaults: 1800 s of producing, a job every 3 s, results in $build/soak. Uses the programs
# already built in $PLINOVA_BUILD_DIR (default build/). Exit status 0 when nothing was lost,
# doubled or leaked (memory or descriptors growing by more than the tolerances below).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${PLINOVA_BUILD_DIR:-$root/build}"
. "$root/scripts/station-lib.sh"
duration=1800
interval=3
out=""
while [ $# -gt 0 ]; do
    case "$1" in
    --duration) duration="$2"; shift 2 ;;
    --interval) interval="$2"; shift 2 ;;
    --out) out="$2"; shift 2 ;;
    *) echo "usage: soak.sh [--duration SECONDS] [--interval SECONDS] [--out DIR]" >&2; exit 2 ;;
    esac
done
out="${out:-$build/soak}"
for program in app/plinova tools/queue/plinova-queue tools/cardsim/plinova-cardsim; do
    if [ ! -x "$build/$program" ]; then
        echo "soak: $build/$program is missing; build first (scripts/build.sh)" >&2
        exit 1
    fi
done

rm -rf "$out"
mkdir -p "$out/bin"
cd "$out"
# Own copies, so that a rebuild during the run does not pull a program away.
cp "$build/app/plinova" "$build/tools/queue/plinova-queue" "$build/tools/cardsim/plinova-cardsim" \
    "$out/bin/"
queue() { "$out/bin/plinova-queue" --udl "$out/Molvar.udl" "$@"; }

trap stop_station EXIT

start_cardsim "$out" "$out/bin/plinova-cardsim" --trace "$out/printer.trace" \
    --insert-delay 300 --remove-delay 500 --timeout 600
write_station "$out" "$out/bin/plinova-queue"

export QT_QPA_PLATFORM=offscreen
"$out/bin/plinova" >"$out/spooler.log" 2>&1 &
spooler_pid=$!

# Resident memory (kB) and open descriptors of the spooler, one line per sample. The database
# file is left out: the connection the spooler keeps for reuse holds it open between cycles
# and closes it once idle for a minute.
sample() {
    local rss fds
    rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$spooler_pid/status")
    fds=$(find "/proc/$spooler_pid/fd" -mindepth 1 -maxdepth 1 ! -lname "$out/station.db*" | wc -l)
    echo "$(date +%s) $rss $fds" >>"$out/samples.txt"
    echo "$rss $fds"
}

# The first cards warm the program up (fonts, drivers); the baseline is taken after them.
queued=0
add_job() {
    queued=$((queued + 1))
    local marker
    marker=$(printf 'SOAK-%06d' "$queued")
    if [ $((queued % 10)) -eq 0 ]; then
        queue drawer --station 1 --card "$queued"
    else
        queue add --station 1 --card "$queued" --keyword "$marker" --title \
            --text "$marker"$'\n2 Bifana\n1 Sopa do dia\n3 Imperial com açúcar €'
    fi
}
for _ in 1 2 3; do add_job; sleep "$interval"; done
read -r rss_start fds_start < <(sample)
echo "soak: start rss ${rss_start} kB, ${fds_start} descriptors"

end=$(($(date +%s) + duration))
next_sample=$(($(date +%s) + 60))
while [ "$(date +%s)" -lt "$end" ]; do
    kill -0 "$spooler_pid" 2>/dev/null || { echo "soak: the spooler ended early" >&2; exit 1; }
    add_job
    if [ "$(date +%s)" -ge "$next_sample" ]; then
        sample >/dev/null
        next_sample=$((next_sample + 60))
    fi
    sleep "$interval"
done

# Let the queue drain (a card takes about two seconds).
for _ in $(seq 120); do
    [ "$(queue list --station 1 | wc -l)" -le 1 ] && break
    sleep 1
done
sleep 2
read -r rss_end fds_end < <(sample)
kill -TERM "$spooler_pid"
wait "$spooler_pid" || true
spooler_pid=""
kill -TERM "$sim_pid"
wait "$sim_pid" || true
sim_pid=""

drawers=$((queued / 10))
cards=$((queued - drawers))
left=$(($(queue list --station 1 | wc -l) - 1))
logged=$(sqlite3 station.db "SELECT COUNT(*) FROM historico")
logged_once=$(sqlite3 station.db "SELECT COUNT(DISTINCT id) FROM historico")
removed=$(grep -c ' ev card-removed' printer.trace || true)
# Each card's first line carries its marker; a card printed twice shows it twice.
printed=$(grep -o 'SOAK-[0-9]*' cardsim.log | sort | uniq -c | awk '$1 == 1' | wc -l)
twice=$(grep -o 'SOAK-[0-9]*' cardsim.log | sort | uniq -c | awk '$1 > 1' | wc -l)
pulses=$(grep -c 'drawer pulse' cardsim.log || true)

cat <<REPORT | tee "$out/report.txt"
soak: ${duration} s, a job every ${interval} s
jobs queued:            $queued ($cards cards, $drawers drawer pulses)
left in the queue:      $left
history rows:           $logged ($logged_once distinct ids)
cards taken out:        $removed
cards printed once:     $printed (twice or more: $twice)
drawer pulses:          $pulses
resident memory:        ${rss_start} kB at start, ${rss_end} kB at end
open descriptors:       ${fds_start} at start, ${fds_end} at end
samples (time rss fds): $out/samples.txt
REPORT

status=0
[ "$left" -eq 0 ] || { echo "soak: jobs left in the queue" >&2; status=1; }
[ "$logged" -eq "$cards" ] && [ "$logged_once" -eq "$cards" ] ||
    { echo "soak: history does not hold each card once" >&2; status=1; }
[ "$removed" -eq "$cards" ] && [ "$printed" -eq "$cards" ] && [ "$twice" -eq 0 ] ||
    { echo "soak: the printer did not see each card once" >&2; status=1; }
[ "$pulses" -eq "$drawers" ] || { echo "soak: drawer pulses do not match" >&2; status=1; }
# Tolerances: descriptors must not grow at all; memory by at most 2 MB (allocator noise).
[ "$fds_end" -le "$fds_start" ] || { echo "soak: open descriptors grew" >&2; status=1; }
[ "$rss_end" -le $((rss_start + 2048)) ] || { echo "soak: resident memory grew" >&2; status=1; }
exit $status
