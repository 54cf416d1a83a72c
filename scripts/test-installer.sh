#!/usr/bin/env bash
# The Windows installer's stage, the last step of scripts/test-windows.sh (runnable alone once
# the Windows build is done): makes plinova-<version>-win64.exe with CPack in the Windows build,
# installs it silently into a fresh wine prefix of its own and lists what it installed, makes a
# station with the installed plinova-queue.exe (embedded database, printer on COM4, which
# wine maps onto the host's card printer simulator), starts the installed program the way a
# log-on does (wine's wineboot runs the user's Startup folder), checks the card on the line
# and the history row, closes the program with another program's close message (taskkill
# without /F), and uninstalls it silently: the program's files go, the station folder stays
# as it was.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${PLINOVA_WINDOWS_BUILD_DIR:-$root/build-windows}"
host="${PLINOVA_BUILD_DIR:-$root/build}"
started=$SECONDS
. "$root/scripts/station-lib.sh"
. "$root/scripts/wine-env.sh"

if [ ! -f "$build/CMakeCache.txt" ]; then
    echo "test-installer: no Windows build in $build: run scripts/test-windows.sh first" >&2
    exit 1
fi
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
# The simulator runs on this machine, from the host build.
if [ ! -f "$host/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$host" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$host" --target plinova-cardsim >/dev/null

work="$build/installer-test"
prefix="$build/installer-prefix"
out="$build/installer"
rm -rf "$work" "$prefix" "$prefix.log" "$out"
mkdir -p "$work"
sim_pid=""
spooler_pid=""
finish() {
    local status=$?
    stop_station
    wine_env_stop
    if [ "$status" -ne 0 ]; then
        for log in "$work"/*.log "${wine_env_errors:-}"; do
            [ -s "$log" ] && { echo "--- $log"; cat "$log"; } >&2
        done
    fi
    exit "$status"
}
trap finish EXIT
fail() {
    echo "test-installer: $*" >&2
    exit 1
}

(cd "$build" && cpack -B "$out" >"$work/cpack.log" 2>&1) || fail "CPack could not make the installer"
installer="$out/plinova-$version-win64.exe"
[ -f "$installer" ] || fail "CPack made no $(basename "$installer") in $out"
echo "test-installer: $(basename "$installer") ($(du -h "$installer" | cut -f1)) made"

# A fresh prefix without Qt on wine's search path: the installed program finds its DLLs in its
# own folder or not at all.
wine_env_start "$prefix"
drive_c="$WINEPREFIX/drive_c"
wine "$installer" /S </dev/null >"$work/install.log" 2>&1 || fail "the installer failed"

program_dir="$drive_c/Program Files/Plinova"
[ -d "$program_dir" ] || fail "nothing installed in C:\\Program Files\\Plinova"
echo "Installed files (C:\\Program Files\\Plinova):"
(cd "$program_dir" && find . -type f | sed 's|^\./||' | LC_ALL=C sort) | tee "$work/installed"
# The installer holds what the install rules put into the program folder, and the uninstaller.
(cd "$out/_CPack_Packages/win64/NSIS64/plinova-$version-win64" && find . -type f &&
    echo Uninstall.exe) | sed 's|^\./||' | LC_ALL=C sort >"$work/expected"
diff "$work/expected" "$work/installed" >"$work/files.log" ||
    fail "the installed files differ from the program folder's (- missing, + more)"
[ -f "$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Plinova/Plinova.lnk" ] ||
    fail "no Plinova entry in the Start menu of all users"

# The entry of the system's installed programs, whose command the uninstall runs below.
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Plinova'
value() {
    wine reg query "$key" /v "$1" </dev/null 2>>"$work/reg.log" | tr -d '\r' |
        sed -n "s/^ *$1 *REG_SZ *//p"
}
[ "$(value DisplayName)" = "Plinova $version" ] || fail "the installed programs list no Plinova $version"
uninstaller="$(value UninstallString | tr -d '"')"
[ -n "$uninstaller" ] || fail "the installed programs' entry has no uninstall command"

# The station, as its user makes it with the installed station command.
queue_exe='C:\Program Files\Plinova\plinova-queue.exe'
station='C:\Estacoes\Balcao 1'
station_dir="$drive_c/Estacoes/Balcao 1"
start_cardsim "$work" "$host/tools/cardsim/plinova-cardsim" --trace "$work/line.trace" \
    --timeout 120
ln -sfn "$(cat "$work/device")" "$WINEPREFIX/dosdevices/com4"
wine "$queue_exe" station "$station" --station 1 --port 4 </dev/null >"$work/station.out" \
    2>"$work/station.log" || fail "the installed station command failed"
startup="$(sed -n 's/^It starts at the next login (\(.*\)) and .*/\1/p' "$work/station.out")"
[ -n "$startup" ] && [ -f "$(winepath -u "$startup" 2>/dev/null)" ] ||
    fail "the station command wrote no Startup shortcut"
# The shortcut read back: the station command refuses another folder while it starts this one.
if wine "$queue_exe" station 'C:\Estacoes\Balcao 2' --station 2 --port 4 </dev/null \
    >/dev/null 2>"$work/refusal.log"; then
    fail "a second station replaced the first one's start entries without --force"
fi
grep -qF "already starts in $station " "$work/refusal.log" ||
    fail "the Startup shortcut does not start the station folder"
[ ! -e "$drive_c/Estacoes/Balcao 2" ] || fail "the refused station's folder was made"
queue() { wine "$queue_exe" --udl "$station\\Molvar.udl" "$@" </dev/null 2>>"$work/queue.log"; }
queue add --station 1 --card 7 --text $'1 Bifana\n1 Imperial' >/dev/null

# The log-on: wine's wineboot, run without options, starts what the Startup folders hold.
wine wineboot </dev/null >"$work/logon.log" 2>&1 || fail "wineboot failed"
for _ in $(seq 300); do
    grep -q '^card removed' "$work/cardsim.log" && break
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.2
done
grep -q '^card removed' "$work/cardsim.log" || fail "the installed spooler printed no card"
rows() { grep -c $'^[0-9]\+\t' || true; }
for _ in $(seq 60); do
    [ "$(queue list --station 1 | rows)" = 0 ] && break
    sleep 0.5
done
[ "$(queue list --station 1 | rows)" = 0 ] || fail "the printed job stayed queued"
[ "$(queue history | rows)" = 1 ] || fail "no history row for the printed job"
line="$(awk '$2 == "rx" { for (i = 3; i <= NF; ++i) printf "%s", $i }' "$work/line.trace")"
# The card's two lines, the form feed and the release.
[[ "$line" == *3120426966616E610D0A3120496D70657269616C0D0A*0C1B71* ]] ||
    fail "the card's bytes are not on the line"

# The close message, then the program gone from the session with its position saved.
windows_processes() {
    wine wmic process get name </dev/null 2>>"$work/wmic.log" | iconv -f UTF-16LE -t UTF-8 |
        tr -d '\r' | sed 's/ *$//'
}
windows_processes | grep -qx plinova.exe || fail "the spooler is not running after the card"
wine taskkill /im plinova.exe </dev/null >"$work/taskkill.log" 2>&1 ||
    fail "taskkill found no spooler to close"
for _ in $(seq 60); do
    windows_processes | grep -qx plinova.exe || break
    sleep 0.5
done
windows_processes | grep -qx plinova.exe && fail "the spooler did not close on the close message"
grep -q $'^Left=500\r$' "$station_dir/Plinova.ini" || fail "the window's position was not saved"
kill "$sim_pid"
wait "$sim_pid" 2>/dev/null || true
sim_pid=""

# The uninstall, as the installed programs' list runs it. The uninstaller copies itself into a
# temporary folder, starts the copy (Un.exe) and ends at once: the copy removes the files.
(cd "$station_dir" && find . -type f -exec sha256sum {} + | LC_ALL=C sort) >"$work/station.before"
wine "$uninstaller" /S </dev/null >"$work/uninstall.log" 2>&1 || fail "the uninstaller failed"
for _ in $(seq 120); do
    windows_processes | grep -qx Un.exe || break
    sleep 0.5
done
windows_processes | grep -qx Un.exe && fail "the uninstaller did not end"
[ ! -e "$program_dir" ] || fail "the uninstaller left $(cd "$program_dir" && find . | tr '\n' ' ')"
[ ! -e "$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Plinova" ] ||
    fail "the uninstaller left the Start menu's Plinova folder"
if wine reg query "$key" </dev/null >/dev/null 2>&1; then
    fail "the installed programs still list Plinova"
fi
(cd "$station_dir" && find . -type f -exec sha256sum {} + | LC_ALL=C sort) >"$work/station.after"
diff "$work/station.before" "$work/station.after" >"$work/station-diff.log" ||
    fail "the uninstaller changed the station folder"
echo "test-installer: installed, one card printed by the installed spooler started at log-on," \
    "uninstalled with the station left as it was, in $((SECONDS - started)) s"
