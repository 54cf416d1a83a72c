#!/usr/bin/env bash
# Runs the tests under the sanitizers:
#   asan    every test under AddressSanitizer and UndefinedBehaviorSanitizer, leaks included,
#           built with Clang (build-asan/, or $PLINOVA_ASAN_BUILD_DIR; the fuzzers are built
#           in the same tree, by this build step and by scripts/fuzz.sh);
#   tsan    the threaded tests (ctest label "threaded") under ThreadSanitizer, five rounds,
#           built with g++ (build-tsan/, or $PLINOVA_TSAN_BUILD_DIR).
# Usage: scripts/sanitize.sh [asan] [tsan]   (both when no argument is given)
# PLINOVA_SANITIZE_STEP=build only builds, =run only runs what a build made so (a run that
# overlaps its builds with its tests: scripts/test.sh).
# Any sanitizer report stops the test that made it and fails the run, and so does any failing
# test: every test gets a single try, as in the plain run (the tests' timing holds on a slow,
# loaded machine). Only the test programs and what they run are built. The database tests use
# the PostgreSQL server named by the PLINOVA_TEST_PG_* variables (scripts/test.sh starts one);
# without them a throwaway server is started here. Leaks inside third-party libraries are suppressed by
# scripts/lsan-suppressions.txt; none of ours is.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
. "$root/scripts/lib.sh"
asan_build="${PLINOVA_ASAN_BUILD_DIR:-$root/build-asan}"
tsan_build="${PLINOVA_TSAN_BUILD_DIR:-$root/build-tsan}"
step="${PLINOVA_SANITIZE_STEP:-all}"
runs=("$@")
if [ ${#runs[@]} -eq 0 ]; then runs=(asan tsan); fi

bash "$root/scripts/install-deps.sh"

# Runs ctest in build folder $1 with the further arguments given; fails when a test fails or
# printed a sanitizer report.
run_ctest() {
  local dir="$1"
  shift
  local log="$dir/sanitizer-ctest.log"
  local status=0
  (cd "$dir" && ctest --output-on-failure -j 2 --timeout 600 "$@") 2>&1 |
    tee "$log" || status=$?
  if grep -qE 'ERROR: (Address|Leak)Sanitizer|WARNING: ThreadSanitizer|runtime error:' "$log"; then
    echo "sanitize.sh: sanitizer reports in $log:" >&2
    grep -E 'SUMMARY: |runtime error:' "$log" | sort | uniq -c >&2
    return 1
  fi
  return "$status"
}

# The test programs of a configured build: every target named test_*.
test_targets() {
  ninja -C "$1" -t targets all | sed -n 's/^\(test_[A-Za-z0-9_]*\): phony$/\1/p' | grep -v '_autogen'
}

run_asan() {
  if [ "$step" != run ]; then
    plinova_configure_sanitized "$asan_build" address,undefined clang++
    # The fuzzers too: they share this tree, and building them here keeps the tree from
    # being built again while its tests run.
    mapfile -t targets < <(test_targets "$asan_build"; plinova_fuzzer_targets "$asan_build")
    cmake --build "$asan_build" -j 2 --target "${targets[@]}"
  fi
  [ "$step" != build ] || return 0
  (
    if [ -z "${PLINOVA_TEST_PG_HOST:-}" ]; then
      eval "$(bash "$root/scripts/start-test-postgres.sh")"
      trap 'bash "$root/scripts/stop-test-postgres.sh" "$PLINOVA_TEST_PG_DIR" >/dev/null 2>&1 || true' EXIT
    fi
    export PLINOVA_REQUIRE_PG=1 QT_QPA_PLATFORM=offscreen
    export ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1:strict_init_order=1
    export LSAN_OPTIONS="suppressions=$root/scripts/lsan-suppressions.txt:print_suppressions=0"
    export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
    run_ctest "$asan_build"
  )
}

run_tsan() {
  if [ "$step" != run ]; then
    plinova_configure_sanitized "$tsan_build" thread g++
    mapfile -t targets < <(grep . "$tsan_build/threaded-tests.txt")
    cmake --build "$tsan_build" -j 2 --target "${targets[@]}"
  fi
  [ "$step" != build ] || return 0
  (
    export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
    for round in 1 2 3 4 5; do
      run_ctest "$tsan_build" -L threaded
    done
  )
}

for run in "${runs[@]}"; do
  case "$run" in
  asan) run_asan ;;
  tsan) run_tsan ;;
  *) echo "sanitize.sh: unknown run '$run' (asan or tsan)" >&2; exit 2 ;;
  esac
done
