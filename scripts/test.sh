#!/usr/bin/env bash
# Builds, checks the C++ formatting, and runs the whole test suite, with a throwaway
# PostgreSQL server on loopback for the database tests (natively and through ODBC); then the
# Windows stage (scripts/test-windows.sh: the program and its tests cross-built and run under
# wine, a station, the installer), the Debian packages (scripts/test-packages.sh), every fuzzer
# for a short while (scripts/fuzz.sh) and the tests again under the sanitizers
# (scripts/sanitize.sh).
#
# Most of the test stages wait on timers, pauses and other programs, and most of the builds
# keep both cores busy, so they overlap: after the plain build, one lane builds the Windows
# tree, the AddressSanitizer tree (Clang's, with the fuzzers) and the ThreadSanitizer tree one
# after the other (its output in build/stages/builds.log), while this one runs the tests of
# each tree as soon as its build is done. Every stage runs even when one before it failed; the
# end prints each stage's time and result, and the run fails when any stage did.
# PLINOVA_TEST_QUICK=1 stops after the plain test run.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${PLINOVA_BUILD_DIR:-$root/build}"
. "$root/scripts/lib.sh"

bash "$root/scripts/install-deps.sh"
export PLINOVA_DEPS_CHECKED=1
plinova_stages_begin "$build/stages"
plinova_stage "the build" env PLINOVA_BUILD_DIR="$build" bash "$root/scripts/build.sh"
plinova_stage "the format check" bash "$root/scripts/check-format.sh"

eval "$(bash "$root/scripts/start-test-postgres.sh")"
lane=""
finish() {
    [ -z "$lane" ] || kill -- "-$lane" 2>/dev/null || true
    bash "$root/scripts/stop-test-postgres.sh" "$PLINOVA_TEST_PG_DIR" >/dev/null 2>&1 || true
}
trap finish EXIT
export PLINOVA_REQUIRE_PG=1
export QT_QPA_PLATFORM=offscreen

# A stage of this lane: its failure is kept for the summary, and the next stage still runs.
run() { plinova_stage "$@" || true; }
# A stage that needs a build of the other lane: skipped when that build failed.
after() {
    local built="$1"
    shift
    if plinova_stage_wait "$built"; then run "$@"; fi
}

if [ "${PLINOVA_TEST_QUICK:-0}" = 1 ]; then
    run "the plain tests" bash -c "cd '$build' && ctest --output-on-failure -j 2 --timeout 300"
    plinova_stages_summary
    exit
fi

builds_log="$build/stages/builds.log"
# The builds' lane, in a process group of its own so that the exit trap can end it whole.
set -m
(
    plinova_lane_begin
    plinova_stage "the Windows build" env PLINOVA_WINDOWS_STEP=build \
        bash "$root/scripts/test-windows.sh" || true
    plinova_stage "the AddressSanitizer build" env PLINOVA_SANITIZE_STEP=build \
        bash "$root/scripts/sanitize.sh" asan || true
    plinova_stage "the ThreadSanitizer build" env PLINOVA_SANITIZE_STEP=build \
        bash "$root/scripts/sanitize.sh" tsan || true
) >"$builds_log" 2>&1 &
lane=$!
set +m

run "the plain tests" bash -c "cd '$build' && ctest --output-on-failure -j 2 --timeout 300"
run "the packages" env PLINOVA_BUILD_DIR="$build" bash "$root/scripts/test-packages.sh"
after "the Windows build" "the Windows tests" env PLINOVA_WINDOWS_STEP=run \
    bash "$root/scripts/test-windows.sh"
after "the AddressSanitizer build" "the AddressSanitizer run" env PLINOVA_SANITIZE_STEP=run \
    bash "$root/scripts/sanitize.sh" asan
after "the ThreadSanitizer build" "the ThreadSanitizer run" env PLINOVA_SANITIZE_STEP=run \
    bash "$root/scripts/sanitize.sh" tsan
after "the AddressSanitizer build" "the fuzzers" env PLINOVA_FUZZ_STEP=run \
    bash "$root/scripts/fuzz.sh"
wait "$lane" || true
lane=""

if grep -q FAILED "$build/stages/summary"; then
    echo "== the end of the builds' lane ($builds_log):"
    tail -n 60 "$builds_log"
fi
echo "test.sh: all done in $SECONDS s"
plinova_stages_summary
