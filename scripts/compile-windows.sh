#!/usr/bin/env bash
# Compiles every product source of the program (app/, codepage/, db/, skin/, tools/queue/) for Windows,
# syntax only, with the mingw-w64 cross compiler against Debian's Qt 6 headers and the
# database client headers, which are the same on every system. Qt for Windows is not packaged
# here, so nothing is linked: this is the check that every file compiles for Windows. A POSIX
# implementation (a file in posix/) is left out when its Windows counterpart is beside it, in
# win/. Prints one line per file and fails when any file has an error or a warning.
#
#   bash scripts/compile-windows.sh [file.cpp ...]   (default: every product source)
#
# Environment: PLINOVA_WINDOWS_CXX (default x86_64-w64-mingw32-g++-posix), PLINOVA_QT6_INCLUDE
# (default /usr/include/x86_64-linux-gnu/qt6), PLINOVA_COMPILE_WINDOWS_DIR (a scratch folder,
# default build-windows/compile-check).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cxx="${PLINOVA_WINDOWS_CXX:-x86_64-w64-mingw32-g++-posix}"
qt="${PLINOVA_QT6_INCLUDE:-/usr/include/x86_64-linux-gnu/qt6}"
scratch="${PLINOVA_COMPILE_WINDOWS_DIR:-$root/build-windows/compile-check}"

for need in "$cxx" ; do
    command -v "$need" >/dev/null || { echo "compile-windows: $need is missing (Debian package g++-mingw-w64-x86-64-posix)" >&2; exit 1; }
done
[ -f "$qt/QtCore/qglobal.h" ] || { echo "compile-windows: no Qt 6 headers in $qt (Debian package qt6-base-dev)" >&2; exit 1; }

# Only the client headers of PostgreSQL and SQLite, not the host's whole include folder.
mkdir -p "$scratch/include/generated"
for header in /usr/include/postgresql/libpq-fe.h /usr/include/postgresql/postgres_ext.h \
    /usr/include/postgresql/pg_config_ext.h /usr/include/sqlite3.h; do
    [ -f "$header" ] || { echo "compile-windows: $header is missing (libpq-dev, libsqlite3-dev)" >&2; exit 1; }
    ln -sf "$header" "$scratch/include/"
done
# The build's generated header, made here as CMake makes it, so that no host build is needed.
version="$(sed -n 's/^project(Plinova VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
sed "s/@PROJECT_VERSION@/$version/" "$root/cmake/Version.h.in" >"$scratch/include/generated/Version.h"

flags=(-std=c++20 -fsyntax-only -Wall -Wextra -Werror
    -DUNICODE -D_UNICODE -DQT_CORE_LIB -DQT_GUI_LIB -DQT_WIDGETS_LIB -DQT_SQL_LIB
    -I"$root" -I"$scratch/include"
    -isystem "$qt" -isystem "$qt/QtCore" -isystem "$qt/QtGui" -isystem "$qt/QtWidgets"
    -isystem "$qt/QtSql")

if [ $# -gt 0 ]; then
    files=("$@")
else
    files=()
    while IFS= read -r file; do
        case "$file" in
        */posix/*)
            counterpart="$(dirname "$(dirname "$file")")/win/$(basename "${file/Posix.cpp/Win.cpp}")"
            [ -f "$root/$counterpart" ] && continue
            ;;
        esac
        files+=("$file")
    done < <(cd "$root" && find app codepage db skin tools/queue -name '*.cpp' -not -path '*/fuzz/*' | sort)
fi

# One compiler a core; each file's errors are printed together when it is done.
printf "'%s'\n" "${flags[@]}" >"$scratch/flags"
export cxx root scratch
results="$(printf '%s\0' "${files[@]}" | xargs -0 -n 1 -P "$(nproc)" bash -c '
    if errors="$(cd "$root" && "$cxx" @"$scratch/flags" "$1" 2>&1)"; then
        echo "ok      $1"
    else
        printf "%s\nFAILED  %s\n" "$errors" "$1"
    fi' _)"
echo "$results"
failed="$(grep -c '^FAILED  ' <<<"$results" || true)"
echo "compile-windows: ${#files[@]} files, $failed failed"
[ "$failed" -eq 0 ]
