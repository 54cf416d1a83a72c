# Shell helpers for the scripts that run a throwaway station on the embedded database with the
# card printer simulator as its printer. Source it; it sets nothing on its own.

# start_cardsim FOLDER SIMULATOR [OPTIONS...]
# Starts the simulator in the background with its device path written to FOLDER/device and its
# output in FOLDER/cardsim.log; sets sim_pid. Fails when no device appears within ten seconds.
start_cardsim() {
    local folder="$1" simulator="$2"
    shift 2
    "$simulator" --device-file "$folder/device" "$@" >"$folder/cardsim.log" 2>&1 &
    sim_pid=$!
    for _ in $(seq 100); do [ -s "$folder/device" ] && break; sleep 0.1; done
    if [ ! -s "$folder/device" ]; then
        echo "The card printer simulator did not start:" >&2
        cat "$folder/cardsim.log" >&2
        return 1
    fi
}

# stop_station
# Stops the spooler ($spooler_pid) and the simulator ($sim_pid) the script started, those still
# set; for the script's exit trap, so that neither outlives a run that fails.
stop_station() {
    for pid in "${spooler_pid:-}" "${sim_pid:-}"; do
        [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
    done
}

# write_station FOLDER QUEUE [TOP LEFT]
# Makes FOLDER a station with the station command of QUEUE (the plinova-queue program): station
# 1, printer on the simulator's device, protocol 0, the embedded database FOLDER/station.db with
# its tables, and no desktop entries; then places the window at TOP, LEFT when given. The
# spooler started in FOLDER finds the data link file there.
write_station() {
    local folder="$1" queue="$2"
    "$queue" station "$folder" --station 1 --device "$(cat "$folder/device")" --no-autostart \
        >/dev/null
    if [ $# -ge 4 ]; then printf '[vandrel]\r\nTop=%s\r\nLeft=%s\r\n' "$3" "$4" >>"$folder/Plinova.ini"; fi
}
