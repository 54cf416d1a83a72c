#!/usr/bin/env bash
# The Windows stage: cross-builds the layers without Qt (platform, serial component, card
# simulator's printer model, the card's pacing, the data link's ODBC mapping, the console's
# stop requests) and their tests for 64-bit Windows with mingw-w64 into build-windows/ (or
# $PLINOVA_WINDOWS_BUILD_DIR), compiles every product source of the program for Windows
# against Debian's Qt headers (scripts/compile-windows.sh), and runs the tests under wine
# with CTest. The serial platform's tests use a port that a far end built for this
# machine maps onto a pseudo-terminal. Arguments go to CTest: bash scripts/test-windows.sh -R Win
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${PLINOVA_WINDOWS_BUILD_DIR:-$root/build-windows}"
host="$build/host"
started=$SECONDS

bash "$root/scripts/install-deps.sh"

# The far end runs on this machine: a small build of its own, without Qt.
cmake -S "$root" -B "$host" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLINOVA_WITH_QT=OFF \
    >/dev/null
cmake --build "$host" --target plinova_com_far_end

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DPLINOVA_COM_FAR_END="$host/tests/support/plinova_com_far_end" >/dev/null
cmake --build "$build" -j "$(nproc)"

# The program itself is compiled, not linked: Debian has no Qt for Windows.
if ! PLINOVA_COMPILE_WINDOWS_DIR="$build/compile-check" bash "$root/scripts/compile-windows.sh" \
    >"$build/compile-check.log" 2>&1; then
    grep -v '^ok  ' "$build/compile-check.log"
    exit 1
fi
tail -n 1 "$build/compile-check.log"

# A prefix of the build's own, without the optional runtimes wine would offer to install.
export WINEPREFIX="$build/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# One server for the whole run, its streams away from CTest's pipes: wine's service
# processes would otherwise hold a test's output open after the test ended.
mkdir -p "$WINEPREFIX"
wineserver -k >/dev/null 2>&1 || true
wineserver -p </dev/null >/dev/null 2>&1
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
# The first program run under a new prefix sets the prefix up and starts wine's services.
if ! wine "$build/tests/app/test_pacing.exe" --gtest_list_tests </dev/null >/dev/null 2>&1; then
  echo "test-windows.sh: wine cannot run a test program (prefix $WINEPREFIX)" >&2
  exit 1
fi

cd "$build"
ctest --output-on-failure -j 2 --timeout 300 "$@"
echo "test-windows.sh: Windows stage done in $((SECONDS - started)) s"
