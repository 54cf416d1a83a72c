#!/usr/bin/env bash
# The Windows stage: cross-builds the whole program and its tests for 64-bit Windows with
# mingw-w64 against Qt for Windows (scripts/qt-windows-prefix.sh) into build-windows/ (or
# $PLINOVA_WINDOWS_BUILD_DIR), installs the station's program folder into
# build-windows/deploy/, and runs the tests under wine with CTest. Each test program runs
# inside a far end built for this machine, which keeps its serial lines and test printers on
# pseudo-terminals mapped onto wine's COM ports. Then a station under wine prints with a
# copy of the program folder alone (scripts/demo-windows.sh --check), and the installer is
# made, installed, tried and removed (scripts/test-installer.sh). Arguments go to CTest:
#   bash scripts/test-windows.sh -R Window
# PLINOVA_WINDOWS_STEP=build stops once the build and the program folder are done;
# PLINOVA_WINDOWS_STEP=run runs the tests of a build made so. The far end comes from
# $PLINOVA_BUILD_DIR (build/) when that tree has it.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${PLINOVA_WINDOWS_BUILD_DIR:-$root/build-windows}"
started=$SECONDS
step="${PLINOVA_WINDOWS_STEP:-all}"

bash "$root/scripts/install-deps.sh"
prefix="$(bash "$root/scripts/qt-windows-prefix.sh")"

if [ "$step" != run ]; then
    # The far end runs on this machine: the plain tree's, where only it is built when that
    # tree does not have it yet.
    plain="${PLINOVA_BUILD_DIR:-$root/build}"
    far_end="$plain/tests/support/plinova_com_far_end"
    if [ ! -x "$far_end" ]; then
        cmake -S "$root" -B "$plain" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
        cmake --build "$plain" --target plinova_com_far_end
    fi

    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
        -DPLINOVA_WINDOWS_PREFIX="$prefix" -DPLINOVA_COM_FAR_END="$far_end" >/dev/null
    cmake --build "$build" -j "$(nproc)"

    # The station's program folder, as an installation copies it.
    rm -rf "$build/deploy"
    cmake --install "$build" --prefix "$build/deploy" --component plinova >/dev/null
    echo "test-windows.sh: built in $((SECONDS - started)) s; program folder $build/deploy"
    if [ "$step" = build ]; then exit 0; fi
fi

. "$root/scripts/wine-env.sh"
wine_env_start "$build/wine-prefix" "$prefix"
trap wine_env_stop EXIT

cd "$build"
if ! ctest --output-on-failure -j 2 --timeout 300 "$@"; then
    echo "test-windows.sh: wine's errors outside the tests ($wine_env_errors):"
    cat "$wine_env_errors"
    exit 1
fi
wine_env_stop
trap - EXIT
if [ $# -eq 0 ]; then
    PLINOVA_WINDOWS_BUILD_DIR="$build" bash "$root/scripts/demo-windows.sh" --check
    PLINOVA_WINDOWS_BUILD_DIR="$build" bash "$root/scripts/test-installer.sh"
fi
echo "test-windows.sh: Windows stage done in $((SECONDS - started)) s"
