#!/usr/bin/env bash
# The packaging stage of scripts/test.sh: builds the packages (scripts/package.sh, lintian
# included), installs them as an administrator would (apt-get install ./build-package/*.deb),
# makes a station with the installed station command, runs the installed spooler against the
# installed card printer simulator until one card is printed and taken out, and removes the
# packages again with whatever their installation brought in, so the machine is left as it was.
# Installing needs root: as another user, and where plinova is installed already, only the
# packages are built and checked.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${PLINOVA_PACKAGE_DIR:-$root/build-package}"
. "$root/scripts/station-lib.sh"

PLINOVA_PACKAGE_DIR="$out" bash "$root/scripts/package.sh"
if [ "$(id -u)" -ne 0 ]; then
    echo "packages: not root, so not installed and tried" >&2
    exit 0
fi
if dpkg-query -W -f='${Status}\n' plinova plinova-cardsim 2>/dev/null | grep -q ' installed$'; then
    echo "packages: plinova is installed on this machine already, so not installed and tried" >&2
    exit 0
fi

installed() { dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' | awk '$1 ~ /^.i/ {print $2}' | sort; }
work="$(mktemp -d)"
installed >"$work/before"
sim_pid=""
spooler_pid=""
cleanup() {
    local status=$?
    stop_station
    wait 2>/dev/null || true
    # Everything installed since the start goes again: the packages, and any dependency they
    # pulled in on a machine that lacked it.
    installed | comm -13 "$work/before" - >"$work/added"
    if [ -s "$work/added" ]; then
        DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq -o DPkg::Lock::Timeout=600 \
            $(cat "$work/added") >/dev/null 2>&1 || {
            echo "packages: could not remove $(tr '\n' ' ' <"$work/added")" >&2
            status=1
        }
    fi
    if [ "$status" -ne 0 ]; then
        for log in "$work"/*.log; do [ -f "$log" ] && { echo "--- $log"; cat "$log"; } >&2; done
    fi
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT

DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -o DPkg::Lock::Timeout=600 \
    "$out"/plinova_*.deb "$out"/plinova-cardsim_*.deb >"$work/apt.log" 2>&1
for program in plinova plinova-queue plinova-cardsim; do
    "/usr/bin/$program" --version | grep -x "$program [0-9.]*" >/dev/null
    "/usr/bin/$program" --help | grep -i "^usage: $program" >/dev/null
    # The page is found and renders: its name section names the program.
    man -P cat "$program" 2>"$work/man.log" | grep -E "^ *$program +- " >/dev/null
done

# The station's desktop entries go to a throwaway home, not to this user's.
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
start_cardsim "$work" /usr/bin/plinova-cardsim --exit-after-cards 1 --timeout 60
station="$work/estacao1"
plinova-queue station "$station" --station 1 --device "$(cat "$work/device")" >"$work/station.log"
grep -qx "Exec=/usr/bin/plinova" "$XDG_CONFIG_HOME/autostart/plinova.desktop"
grep -qx "Path=$station" "$XDG_CONFIG_HOME/autostart/plinova.desktop"

# The installed spooler, started in the station folder as the login starts it; its data link
# file is the station folder's, none lying beside the program.
cd "$station"
plinova-queue add --station 1 --card 7 --text $'1 Bifana\n1 Imperial'
QT_QPA_PLATFORM=offscreen plinova >"$work/spooler.log" 2>&1 &
spooler_pid=$!
if ! wait "$sim_pid"; then
    sim_pid=""
    echo "packages: the installed spooler printed no card" >&2
    exit 1
fi
sim_pid=""
# The job leaves the queue once the card is out.
for _ in $(seq 100); do
    [ "$(plinova-queue list --station 1 | wc -l)" -eq 1 ] && break
    sleep 0.1
done
kill -TERM "$spooler_pid"
wait "$spooler_pid"
spooler_pid=""
[ "$(plinova-queue list --station 1 | wc -l)" -eq 1 ] || { echo "packages: the job stayed queued" >&2; exit 1; }
[ "$(plinova-queue history | wc -l)" -eq 2 ] || { echo "packages: no history row" >&2; exit 1; }
echo "packages: installed, one card printed by the installed spooler, removed again"
