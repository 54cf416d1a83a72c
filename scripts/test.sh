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
PLINOVA_BUILD_DIR="$build" bash "$root/scripts/build.sh"
bash "$root/scripts/check-format.sh"

eval "$(bash "$root/scripts/start-test-postgres.sh")"
trap 'bash "$root/scripts/stop-test-postgres.sh" "$PLINOVA_TEST_PG_DIR" >/dev/null 2>&1 || true' EXIT
export PLINOVA_REQUIRE_PG=1
export QT_QPA_PLATFORM=offscreen

cd "$build"
ctest --output-on-failure -j 2 --timeout 300

if [ "${PLINOVA_TEST_QUICK:-0}" != 1 ]; then
  bash "$root/scripts/test-windows.sh"
  PLINOVA_BUILD_DIR="$build" bash "$root/scripts/test-packages.sh"
  bash "$root/scripts/fuzz.sh"
  bash "$root/scripts/sanitize.sh"
fi
