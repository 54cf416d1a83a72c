#!/usr/bin/env bash
# Builds, checks the C++ formatting, and runs the whole test suite, with a throwaway
# PostgreSQL server on loopback for the database tests (natively and through ODBC); then
# cross-builds the layers without Qt for Windows and runs their tests under wine
# (scripts/test-windows.sh), builds, checks, installs and tries the Debian packages
# (scripts/test-packages.sh), runs every fuzzer for a short while (scripts/fuzz.sh) and the
# tests again under the sanitizers (scripts/sanitize.sh).
# PLINOVA_TEST_QUICK=1 stops after the plain test run.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${PLINOVA_BUILD_DIR:-$root/build}"
stage_start=$SECONDS
PLINOVA_BUILD_DIR="$build" bash "$root/scripts/build.sh"
bash "$root/scripts/check-format.sh"
echo "test.sh: the build took $((SECONDS - stage_start)) s"

eval "$(bash "$root/scripts/start-test-postgres.sh")"
trap 'bash "$root/scripts/stop-test-postgres.sh" "$PLINOVA_TEST_PG_DIR" >/dev/null 2>&1 || true' EXIT
export PLINOVA_REQUIRE_PG=1
export QT_QPA_PLATFORM=offscreen

# Runs one stage and says how long it took, so that a slow run shows where its time went.
stage() {
  local name="$1" started=$SECONDS
  shift
  "$@"
  echo "test.sh: $name took $((SECONDS - started)) s"
}

stage "the plain tests" bash -c "cd '$build' && ctest --output-on-failure -j 2 --timeout 300"

if [ "${PLINOVA_TEST_QUICK:-0}" != 1 ]; then
  stage "the Windows stage" bash "$root/scripts/test-windows.sh"
  stage "the packages" env PLINOVA_BUILD_DIR="$build" bash "$root/scripts/test-packages.sh"
  stage "the fuzzers" bash "$root/scripts/fuzz.sh"
  stage "the AddressSanitizer run" bash "$root/scripts/sanitize.sh" asan
  stage "the ThreadSanitizer run" bash "$root/scripts/sanitize.sh" tsan
fi
echo "test.sh: all done in $SECONDS s"
