#!/usr/bin/env bash
# A demo station: builds everything, makes a station folder on the embedded database, queues
# a few sample jobs and prints them on the card printer simulator, showing each card.
# Runs in a real window when a display is there, otherwise off screen. Ends when the sample
# jobs are done.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${PLINOVA_BUILD_DIR:-$root/build}"
PLINOVA_BUILD_DIR="$build" bash "$root/scripts/build.sh"
. "$root/scripts/station-lib.sh"

station="$build/demo-station"
rm -rf "$station"
mkdir -p "$station/cards"
cd "$station"

queue() { "$build/tools/queue/plinova-queue" --udl "$station/Molvar.udl" "$@"; }

# The simulator's device is the station's printer port.
trap stop_station EXIT
start_cardsim "$station" "$build/tools/cardsim/plinova-cardsim" --png-dir "$station/cards" \
    --insert-delay 400 --remove-delay 600 --exit-after-cards 4 --timeout 120
write_station "$station" "$build/tools/queue/plinova-queue" 40 40

queue config "OFFSET INICIAL" 1
queue add --station 1 --card 12 --title --keyword "MESA 12" --text $'2 Bifana\n1 Sopa do dia\n3 Imperial'
queue add --station 1 --card 7 --text $'1 Prego no pão\n1 Água com gás'
queue drawer --station 1
queue add --station 1 --card 31 --text "1 Francesinha especial com ovo, batata frita caseira e molho picante à parte, sem cebola"
queue add --station 1 --card 44 --title --keyword "TAKE-AWAY" --text $'Café, pão de ló, açúcar\n€ 12,50'
queue add --station 2 --card 99 --text "Job of another station: never printed here"

if [ -z "${DISPLAY:-}" ]; then export QT_QPA_PLATFORM=offscreen; fi
"$build/app/plinova" &
spooler_pid=$!

# Four cards, then the simulator ends by itself.
tail -n +1 -f "$station/cardsim.log" --pid "$sim_pid" &
wait "$sim_pid" || { echo "The card printer simulator failed." >&2; exit 1; }
sleep 1.5   # one more cycle for the last delete
kill -TERM "$spooler_pid"
wait "$spooler_pid" || true
spooler_pid=""

echo
echo "Queue left for station 1 (empty when every job was taken):"
queue list --station 1
echo "History:"
queue history
echo "Card pictures: $station/cards"
