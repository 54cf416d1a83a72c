#!/usr/bin/env bash
# A demo station on Windows, under wine: the Windows program folder (build-windows/deploy,
# made by scripts/test-windows.sh) runs in a station folder made by the Windows station
# command, with the embedded SQLite database, and prints the demo's jobs on the host's card
# printer simulator, whose pseudo-terminal wine maps onto COM3. The window shows on a virtual
# display; once the jobs are done another program asks it to close (wine's taskkill without
# /F), and the script checks that it closed, saved its position through the system's profile
# functions, printed the bytes the cards need and logged every print job once.
#
#   bash scripts/demo-windows.sh            the demo: six jobs, pictures of the cards in
#                                           build-windows/demo-station/cards/, and a picture of
#                                           the window in docs/screenshots/windows-bar.png
#   bash scripts/demo-windows.sh --check    the Windows stage's short form: a card and a
#                                           drawer pulse, checked, no picture written
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
windows="${PLINOVA_WINDOWS_BUILD_DIR:-$root/build-windows}"
host="${PLINOVA_BUILD_DIR:-$root/build}"
check=0
case "${1:-}" in
"") ;;
--check) check=1 ;;
*) echo "usage: demo-windows.sh [--check]" >&2; exit 2 ;;
esac
. "$root/scripts/station-lib.sh"
. "$root/scripts/wine-env.sh"
. "$root/scripts/wine-capture.sh"

if [ ! -x "$windows/deploy/plinova.exe" ]; then
    PLINOVA_WINDOWS_BUILD_DIR="$windows" PLINOVA_WINDOWS_STEP=build \
        bash "$root/scripts/test-windows.sh"
fi
if [ ! -x "$host/tools/cardsim/plinova-cardsim" ]; then
    bash "$root/scripts/install-deps.sh"
    cmake -S "$root" -B "$host" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$host" --target plinova-cardsim
fi

station="$windows/demo-station"
rm -rf "$station"
mkdir -p "$station/cards"
sim_pid=""
spooler_pid=""
finish() {
    stop_station
    wine_env_stop
}
trap finish EXIT
wine_env_start "$windows/demo-prefix"

# The program as a station has it: a copy of the program folder, the station folder its
# working directory.
program="$station/program"
cp -r "$windows/deploy" "$program"
station_w="$(winepath -w "$station")"
queue() { wine "$program/plinova-queue.exe" --udl "$station_w\\Molvar.udl" "$@" </dev/null; }

jobs=6
[ "$check" = 1 ] && jobs=2
start_cardsim "$station" "$host/tools/cardsim/plinova-cardsim" --png-dir "$station/cards" \
    --trace "$station/line.trace" --insert-delay 300 --remove-delay 500 --timeout 180
ln -sfn "$(cat "$station/device")" "$WINEPREFIX/dosdevices/com3"
(cd "$station" && wine "$program/plinova-queue.exe" station "$station_w" --station 1 --port 3 \
    --no-autostart </dev/null >/dev/null)
# No position yet: the window opens at its default place (left 500, top 0), which the close
# writes into Plinova.ini.

queue config "OFFSET INICIAL" 1 >/dev/null
# The drawer first: the simulator ends with the last card taken out.
queue drawer --station 1 >/dev/null
queue add --station 1 --card 7 --text $'1 Prego no pão\n1 Água com gás' >/dev/null
if [ "$check" = 0 ]; then
    queue add --station 1 --card 12 --title --keyword "MESA 12" \
        --text $'2 Bifana\n1 Sopa do dia\n3 Imperial' >/dev/null
    queue add --station 1 --card 31 --text "1 Francesinha especial com ovo, batata frita caseira e molho picante à parte, sem cebola" >/dev/null
    queue add --station 1 --card 44 --title --keyword "TAKE-AWAY" \
        --text $'Café, pão de ló, açúcar\n€ 12,50' >/dev/null
    queue add --station 1 --card 2 --text $'1 Galão\n1 Tosta mista' >/dev/null
fi
queue add --station 2 --card 99 --text "Job of another station: never printed here" >/dev/null

(cd "$station" && exec wine "$program/plinova.exe" </dev/null >"$station/plinova.log" 2>&1) &
spooler_pid=$!

# Every card taken out, then the queue empty once the last job's cycle has deleted it. The
# printer stays on the line until the program has closed: a close drains the port.
cards=$((jobs - 1))
for _ in $(seq 600); do
    [ "$(grep -c '^card removed' "$station/cardsim.log" || true)" -ge "$cards" ] && break
    kill -0 "$sim_pid" 2>/dev/null && kill -0 "$spooler_pid" 2>/dev/null || break
    sleep 0.2
done
for _ in $(seq 30); do
    [ "$(queue list --station 1 | grep -c $'^[0-9]\+\t' || true)" = 0 ] && break
    sleep 0.5
done
[ "$check" = 0 ] && tail -n +1 "$station/cardsim.log"

if [ "$check" = 0 ]; then
    mkdir -p "$root/docs/screenshots"
    xdotool mousemove 600 500
    wine_capture_window "$DISPLAY" Plinova "$root/docs/screenshots/windows-bar.png"
fi

# A close message from another program, as a shut-down script or an administrator sends it.
wine taskkill /im plinova.exe </dev/null >/dev/null 2>&1
for _ in $(seq 150); do kill -0 "$spooler_pid" 2>/dev/null || break; sleep 0.2; done
if kill -0 "$spooler_pid" 2>/dev/null; then
    echo "demo-windows: the spooler did not close on the close message" >&2
    exit 1
fi
wait "$spooler_pid" || { echo "demo-windows: the spooler ended with an error:" >&2; cat "$station/plinova.log" >&2; exit 1; }
spooler_pid=""

failed=0
fail() { echo "demo-windows: $*" >&2; failed=1; }
grep -q $'^Left=500\r$' "$station/Plinova.ini" && grep -q $'^Top=0\r$' "$station/Plinova.ini" ||
    fail "the window's position was not saved"
# Every byte the printer received, as one hex string.
line="$(awk '$2 == "rx" { for (i = 3; i <= NF; ++i) printf "%s", $i }' "$station/line.trace")"
# The first card, after the status request that found it: the offset line, small print, its
# two lines in the printer's code page (ã E3, Á C1, á E1), the form feed and the release.
card="100405""0D0A""1B2101""3120507265676F206E6F2070E36F0D0A""3120C167756120636F6D2067E1730D0A"
card="${card}0C1B71"
[[ "$line" == *"$card"* ]] || fail "the first card's bytes are not on the line"
[[ "$line" == *1B7000C8C8* ]] || fail "no drawer pulse on the line"
rows() { grep -c $'^[0-9]\+\t' || true; }
history="$(queue history)"
printed="$(rows <<<"$history")"
[ "$printed" = "$((jobs - 1))" ] || fail "$printed history rows for $((jobs - 1)) print jobs"
[ "$(queue list --station 1 | rows)" = 0 ] || fail "jobs of station 1 are left in the queue"
[ "$(queue list --station 2 | rows)" = 1 ] || fail "the job of station 2 was taken"

echo "Queue of station 1 (empty when every job was taken):"
queue list --station 1
echo "History:"
printf '%s\n' "$history"
echo "Card pictures: $station/cards"
[ "$failed" = 0 ] || exit 1
echo "demo-windows: the Windows program printed every job once and closed on the close message"
