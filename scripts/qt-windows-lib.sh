# shellcheck shell=bash
# Shell helpers shared by build-qt-windows.sh and qt-windows-prefix.sh: which Qt the host has,
# where its Windows prefix is cached, and whether a prefix holds what the project needs.
# Source it; it sets nothing on its own.

# qtw_host_qt_version
# Prints the upstream version of Debian's host Qt tools (6.4.2 for 6.4.2+dfsg-10): the Windows
# prefix must be the same Qt, since those tools (moc, rcc, uic) generate code for it.
qtw_host_qt_version() {
    local full
    if ! full="$(dpkg-query -W -f='${Version}' qt6-base-dev-tools 2>/dev/null)" || [ -z "$full" ]; then
        echo "Debian's Qt host tools are not installed: run bash scripts/install-deps.sh qt6-base-dev-tools" >&2
        return 1
    fi
    full="${full#*:}"    # epoch
    full="${full%-*}"    # Debian revision
    full="${full%%[+~]*}" # repack suffix such as +dfsg
    printf '%s\n' "$full"
}

# qtw_default_prefix VERSION
qtw_default_prefix() {
    printf '%s\n' "${XDG_CACHE_HOME:-$HOME/.cache}/plinova/qt6-windows-$1"
}

# qtw_prefix_version DIR
# Prints the Qt version a prefix was built as, from its CMake package; nothing when there is none.
qtw_prefix_version() {
    local file
    for file in "$1/lib/cmake/Qt6/Qt6ConfigVersionImpl.cmake" "$1/lib/cmake/Qt6/Qt6ConfigVersion.cmake"; do
        if [ -f "$file" ]; then
            sed -n 's/^ *set(PACKAGE_VERSION "\([^"]*\)").*/\1/p' "$file" | head -n 1
            return 0
        fi
    done
}

# The files a prefix must hold for the project: Qt's libraries, CMake packages and the plugins
# the program loads, the database clients the SQL drivers were built against, and the
# compiler's runtime, which the DLLs need beside them.
qtw_required_files=(
    lib/cmake/Qt6/Qt6Config.cmake
    bin/Qt6Core.dll bin/Qt6Gui.dll bin/Qt6Widgets.dll bin/Qt6Sql.dll bin/Qt6Test.dll
    lib/libQt6Core.a lib/libQt6Gui.a lib/libQt6Widgets.a lib/libQt6Sql.a lib/libQt6Test.a
    lib/cmake/Qt6Core/Qt6CoreConfig.cmake lib/cmake/Qt6Gui/Qt6GuiConfig.cmake
    lib/cmake/Qt6Widgets/Qt6WidgetsConfig.cmake lib/cmake/Qt6Sql/Qt6SqlConfig.cmake
    lib/cmake/Qt6Test/Qt6TestConfig.cmake
    plugins/platforms/qwindows.dll plugins/platforms/qoffscreen.dll
    plugins/styles/qwindowsvistastyle.dll
    plugins/sqldrivers/qsqlite.dll plugins/sqldrivers/qsqlodbc.dll plugins/sqldrivers/qsqlpsql.dll
    bin/sqlite3.dll include/sqlite3.h lib/libsqlite3.dll.a
    bin/libpq.dll include/libpq-fe.h lib/libpq.a
    bin/libstdc++-6.dll bin/libgcc_s_seh-1.dll bin/libwinpthread-1.dll
)

# qtw_check_prefix DIR VERSION
# Succeeds when DIR is a prefix of Qt VERSION with every file the project needs; otherwise says
# on stderr what is wrong with it and fails.
qtw_check_prefix() {
    local dir="$1" want="$2" have file
    local missing=()
    if [ ! -d "$dir" ]; then
        echo "$dir: no such folder" >&2
        return 1
    fi
    have="$(qtw_prefix_version "$dir")"
    for file in "${qtw_required_files[@]}"; do
        [ -s "$dir/$file" ] || missing+=("$file")
    done
    if [ "$have" = "$want" ] && [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    if [ -z "$have" ]; then
        echo "$dir: no lib/cmake/Qt6/Qt6ConfigVersionImpl.cmake, so no Qt of a known version" >&2
    elif [ "$have" != "$want" ]; then
        echo "$dir: holds Qt $have, the host's Qt tools are $want" >&2
    fi
    if [ ${#missing[@]} -gt 0 ]; then
        echo "$dir: missing ${missing[*]}" >&2
    fi
    return 1
}

# qtw_duration SECONDS
# Prints a duration as people read it: 2.3 s, 48 s, 3 min 40 s.
qtw_duration() {
    awk -v s="$1" 'BEGIN {
        if (s < 10) printf "%.1f s\n", s
        else if (s < 60) printf "%d s\n", s + 0.5
        else { t = int(s + 0.5); printf "%d min %d s\n", t / 60, t % 60 }
    }'
}

# qtw_now
# Prints the time in seconds with a decimal point, whatever the locale's separator.
qtw_now() {
    printf '%s\n' "${EPOCHREALTIME/,/.}"
}

# qtw_since START
# Prints the time since START, a value of qtw_now.
qtw_since() {
    qtw_duration "$(awk -v a="$1" -v b="$(qtw_now)" 'BEGIN { print b - a }')"
}
