#!/usr/bin/env bash
# Takes the README's screenshots of the running program: a throwaway station on the embedded
# database prints a few jobs on the card printer simulator, then the window is shown on a
# virtual display (Xvfb), clicked like a user would, and captured three times into
# docs/screenshots/: the collapsed bar, the last-print page and the history page.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${PLINOVA_BUILD_DIR:-$root/build}"
out="$root/docs/screenshots"
. "$root/scripts/station-lib.sh"

bash "$root/scripts/install-deps.sh"
if [ ! -x "$build/app/plinova" ] || [ ! -x "$build/tools/queue/plinova-queue" ] ||
    [ ! -x "$build/tools/cardsim/plinova-cardsim" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$build" -j "$(nproc)" --target plinova plinova-queue plinova-cardsim
fi

station="$(mktemp -d)"
sim_pid=""
xvfb_pid=""
spooler_pid=""
cleanup() {
    stop_station
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$station"
}
trap cleanup EXIT
cd "$station"

queue() { "$build/tools/queue/plinova-queue" --udl "$station/Molvar.udl" "$@"; }

# Four jobs fill the history; a fifth is printed while the bar is captured. Each card stays
# in the printer for a few seconds after its print, so the bar shows the card's number and
# "Remova cartão".
start_cardsim "$station" "$build/tools/cardsim/plinova-cardsim" --quiet \
    --insert-delay 200 --remove-delay 4000 --exit-after-cards 5 --timeout 120
# The window at the screen's top left corner, so that each picture is a fixed crop.
write_station "$station" "$build/tools/queue/plinova-queue" 0 0

queue add --station 1 --card 12 --text $'2 Bifana\n1 Sopa do dia\n3 Imperial' >/dev/null
queue add --station 1 --card 7 --text $'1 Prego no pão\n1 Água com gás' >/dev/null
queue add --station 1 --card 31 --text "1 Francesinha especial com ovo, batata frita caseira e molho picante à parte, sem cebola" >/dev/null
queue add --station 1 --card 44 --title --keyword "MESA 4" --text $'Café, pão de ló, açúcar\n2 Galão\n1 Tosta mista\nTotal: € 12,50' >/dev/null

# A display of its own: Xvfb picks a free number and reports it.
Xvfb -displayfd 5 -screen 0 640x560x24 -nolisten tcp 5>"$station/display" >"$station/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$station/display" ] && break; sleep 0.1; done
[ -s "$station/display" ] || { echo "Xvfb did not start:" >&2; cat "$station/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$station/display")"
unset QT_QPA_PLATFORM

"$build/app/plinova" >"$station/plinova.log" 2>&1 &
spooler_pid=$!

# Every job printed and its card taken out: the queue is empty.
for _ in $(seq 600); do
    kill -0 "$spooler_pid" 2>/dev/null || { echo "Plinova ended:" >&2; cat "$station/plinova.log" >&2; exit 1; }
    [ -z "$(queue list --station 1 | grep -v '^id')" ] && break
    sleep 0.1
done
sleep 1.5

mkdir -p "$out"
shot() { # name width height
    xdotool mousemove 600 540
    sleep 0.7
    import -display "$DISPLAY" -window root -crop "$2x$3+0+0" +repage "$out/$1.png"
}
click() { xdotool mousemove "$1" "$2" click 1; }

click 17 12      # btopen: expand to the last print
shot last-print 335 500
click 60 479     # btmod: the history page
shot history 335 500
click 293 479    # btfechar: back to the bar

queue add --station 1 --card 27 --text $'1 Bitoque\n1 Vinho da casa' >/dev/null
sleep 3.5        # the next cycle takes the job; the card waits for removal
shot collapsed 335 26
wait "$sim_pid" || { echo "The card printer simulator failed:" >&2; cat "$station/cardsim.log" >&2; exit 1; }
sim_pid=""

kill -TERM "$spooler_pid"
wait "$spooler_pid" || true
spooler_pid=""
echo "Screenshots in $out: collapsed.png, last-print.png, history.png"
