# Shell helpers shared by the project's scripts. Source it; it sets nothing on its own.

# Sanitized trees: -O1 and line tables only, so that reports keep file and line and the builds
# stay short. The AddressSanitizer tree is Clang's, so that the fuzzers (libFuzzer is Clang's)
# are built in it too; the ThreadSanitizer tree is g++'s, as the product's builds are.
#   plinova_configure_sanitized DIR SANITIZERS COMPILER
plinova_configure_sanitized() {
    local source
    source="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
    cmake -S "$source" -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=None -DPLINOVA_SANITIZE="$2" \
        -DCMAKE_CXX_COMPILER="$3" -DCMAKE_CXX_FLAGS="-O1 -g1 -fno-sanitize-recover=all" >/dev/null
}

# The fuzzers a configured tree declares, a target a line (plinova_add_fuzzer writes the list).
#   plinova_fuzzer_targets DIR
plinova_fuzzer_targets() {
    cut -f1 "$1/fuzzers.txt" | grep .
}

# Stages: a run's steps, each timed, its result kept for the summary at the end. Steps that
# run in a background lane hand their result to the lane that waits for them through a mark.
#   plinova_stages_begin FOLDER   where the marks, the summary and the lanes' logs go
#   plinova_stage NAME CMD...     runs CMD as stage NAME; its status is CMD's
#   plinova_lane_begin            in a background lane's subshell: marks the lane's end
#   plinova_stage_wait NAME       waits until stage NAME of the lane has ended; fails when NAME
#                                 failed or the lane ended without running it
#   plinova_stages_summary        prints each stage's time and result; fails when any failed
plinova_stages_begin() {
    plinova_stage_dir="$1"
    rm -rf "$plinova_stage_dir"
    mkdir -p "$plinova_stage_dir"
    : >"$plinova_stage_dir/summary"
}

plinova_stage() {
    local name="$1" started=$SECONDS status=0
    shift
    echo "== $name: started"
    "$@" || status=$?
    local result=passed
    [ "$status" -eq 0 ] || result="FAILED ($status)"
    printf '%-32s %6s s  %s\n' "$name" "$((SECONDS - started))" "$result" \
        >>"$plinova_stage_dir/summary"
    echo "$status" >"$plinova_stage_dir/${name// /_}.end"
    echo "== $name: $result after $((SECONDS - started)) s"
    return "$status"
}

plinova_lane_begin() {
    trap 'touch "$plinova_stage_dir/lane.ended"' EXIT
}

plinova_stage_wait() {
    local mark="$plinova_stage_dir/${1// /_}.end"
    while [ ! -s "$mark" ]; do
        if [ -e "$plinova_stage_dir/lane.ended" ]; then
            [ -s "$mark" ] || {
                printf '%-32s %6s    %s\n' "$1" - "FAILED (never ran)" >>"$plinova_stage_dir/summary"
                return 1
            }
        fi
        sleep 1
    done
    [ "$(cat "$mark")" = 0 ]
}

plinova_stages_summary() {
    echo "== stages (time, result):"
    cat "$plinova_stage_dir/summary"
    ! grep -q FAILED "$plinova_stage_dir/summary"
}
