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

# write_station FOLDER [TOP LEFT]
# Writes the station's profile files (printer on the simulator's device, protocol 0, station 1,
# the window at TOP, LEFT when given) and a data link file for FOLDER/station.db.
write_station() {
    local folder="$1"
    {
        printf '[OPCOES]\r\nCertificadora=1\r\nPorta Certificadora=1\r\nProtocolo Certificadora=0\r\n'
        printf 'Hora limite=06:00\r\nDispositivo Certificadora=%s\r\n' "$(cat "$folder/device")"
        if [ $# -ge 3 ]; then printf '[vandrel]\r\nTop=%s\r\nLeft=%s\r\n' "$2" "$3"; fi
    } >"$folder/Plinova.ini"
    printf '[OPCOES]\r\nPosto=1\r\n' >"$folder/Molvar.ini"
    printf 'Provider=SQLite;Data Source=station.db\r\n' >"$folder/Molvar.udl"
}
