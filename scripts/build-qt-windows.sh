#!/usr/bin/env bash
# Builds Qt for 64-bit Windows from Debian's own source packages, with the SQLite and
# PostgreSQL client DLLs its SQL drivers use and the compiler's runtime DLLs, into PREFIX
# (default: ${XDG_CACHE_HOME:-$HOME/.cache}/plinova/qt6-windows-<version of the host's Qt>).
#   bash scripts/build-qt-windows.sh [PREFIX]
# Debian has no Qt for Windows, but its Qt source cross-builds with Debian's mingw-w64
# compiler against Debian's host tools (moc, rcc, uic) of the same version.
# The work happens in PREFIX.build, wiped at the start of every run, so that a run that was
# interrupted starts over cleanly; PREFIX appears only when complete, by a rename, and a
# complete PREFIX is left alone. Progress and times go to stderr; the last line on stdout is
# PREFIX. Takes 30 to 90 minutes on two cores.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
# shellcheck source=scripts/qt-windows-lib.sh
. "$root/scripts/qt-windows-lib.sh"

if [ $# -gt 1 ] || [[ "${1:-}" == -* ]]; then
    echo "usage: bash scripts/build-qt-windows.sh [PREFIX]" >&2
    exit 2
fi

target=x86_64-w64-mingw32
started="$(qtw_now)"

step_started=""
begin() {
    step_started="$(qtw_now)"
    echo "== $1" >&2
}
done_step() {
    echo "   $1: $(qtw_since "$step_started")" >&2
}

begin "Build tools"
bash "$root/scripts/install-deps.sh" build-essential dpkg-dev tcl bzip2 xz-utils perl cmake \
    ninja-build g++-mingw-w64-x86-64-posix qt6-base-dev qt6-base-dev-tools >&2
done_step "build tools"

version="$(qtw_host_qt_version)"
prefix="${1:-$(qtw_default_prefix "$version")}"
prefix="$(realpath -m "$prefix")"
scratch="$prefix.build"
mkdir -p "$(dirname "$prefix")"

# Two runs for the same prefix would share the scratch folder: the second waits.
exec {lock}>"$prefix.lock"
if ! flock -n "$lock"; then
    echo "Another build of $prefix is running; waiting for it." >&2
    flock "$lock"
fi

if [ -e "$prefix" ]; then
    if qtw_check_prefix "$prefix" "$version"; then
        echo "$prefix is complete already: left alone." >&2
        printf '%s\n' "$prefix"
        exit 0
    fi
    echo "$prefix exists but is not a complete Qt $version prefix (see above)." \
        "Remove it, or name another PREFIX, and run this again." >&2
    exit 1
fi

rm -rf "$scratch"
mkdir -p "$scratch/logs"
logs="$scratch/logs"
deps="$scratch/deps"      # SQLite and libpq, as Qt's configure finds them
stage="$scratch/prefix"   # Qt installs here; renamed to PREFIX when complete
jobs="$(nproc)"
cc_w64="$target-gcc-posix"

# run LOG COMMAND...
# Runs a command with its output in logs/LOG; on failure shows the end of it and stops.
run() {
    local log="$logs/$1"
    shift
    if ! "$@" >>"$log" 2>&1; then
        echo "Failed: $*" >&2
        tail -n 40 "$log" >&2
        echo "The whole output is in $log." >&2
        exit 1
    fi
}

# unpack ARCHIVE DEST
# Unpacks a source archive holding one top folder as DEST.
unpack() {
    local tmp entries
    tmp="$(mktemp -d "$scratch/unpack.XXXXXX")"
    tar -xf "$1" -C "$tmp"
    entries=("$tmp"/*)
    if [ ${#entries[@]} -ne 1 ] || [ ! -d "${entries[0]}" ]; then
        echo "$1 does not unpack to one folder: not the source archive expected." >&2
        exit 1
    fi
    mkdir -p "$(dirname "$2")"
    mv -T "${entries[0]}" "$2"
    rmdir "$tmp"
}

# one_file PATTERN
# Prints the one file of the downloaded sources that matches PATTERN.
one_file() {
    local files
    # shellcheck disable=SC2206 # the pattern is meant to be expanded
    files=($scratch/sources/$1)
    if [ ${#files[@]} -ne 1 ] || [ ! -f "${files[0]}" ]; then
        echo "Expected one source file $1 from apt-get source, found: ${files[*]}" >&2
        exit 1
    fi
    printf '%s\n' "${files[0]}"
}

# debian_mirror
# Prints "URI<TAB>KEYRING" of the first Debian entry of the machine's apt sources for the
# release's main component (KEYRING empty when the entry names none), in apt's own order:
# sources.list, then sources.list.d/ one-line .list and deb822 .sources files by name.
debian_mirror() {
    local codename="$1" file found
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*; do
        [ -f "$file" ] || continue
        found=""
        case "$file" in
            *.list)
                found="$(awk -v codename="$codename" '
                    /^[ \t]*#/ { next }
                    $1 == "deb" || $1 == "deb-src" {
                        i = 2; opts = ""
                        if ($2 ~ /^\[/) {
                            opts = $2
                            while (opts !~ /\]$/ && i < NF) { i++; opts = opts " " $i }
                            i++
                        }
                        main = 0
                        for (j = i + 2; j <= NF; j++) if ($j == "main") main = 1
                        if ($(i + 1) == codename && main) {
                            keyring = ""
                            if (match(opts, /signed-by=[^] ]+/)) keyring = substr(opts, RSTART + 10, RLENGTH - 10)
                            print $i "\t" keyring
                            exit
                        }
                    }' "$file")"
                ;;
            *.sources)
                found="$(awk -v codename="$codename" '
                    function flush() {
                        if (!found && (" " types " ") ~ / deb(-src)? / && enabled != "no" \
                            && (" " suites " ") ~ (" " codename " ") && (" " comps " ") ~ / main /) {
                            split(uris, u, " ")
                            print u[1] "\t" (keyring ~ /^\// ? keyring : "")
                            found = 1
                        }
                        types = uris = suites = comps = keyring = enabled = ""
                    }
                    /^[ \t]*#/ { next }
                    /^[ \t]*$/ { flush(); next }
                    /^[ \t]/ { next }
                    {
                        key = tolower(substr($0, 1, index($0, ":") - 1))
                        value = substr($0, index($0, ":") + 1)
                        gsub(/^[ \t]+|[ \t]+$/, "", value)
                        gsub(/[ \t]+/, " ", value)
                        if (key == "types") types = value
                        else if (key == "uris") uris = value
                        else if (key == "suites") suites = value
                        else if (key == "components") comps = value
                        else if (key == "signed-by") keyring = value
                        else if (key == "enabled") enabled = tolower(value)
                    }
                    END { flush() }' "$file")"
                ;;
        esac
        if [ -n "$found" ]; then
            printf '%s\n' "$found"
            return 0
        fi
    done
}

begin "Sources (apt-get source through a private source list)"
codename="$(. /etc/os-release && printf '%s' "${VERSION_CODENAME:-}")"
if [ -z "$codename" ]; then
    echo "/etc/os-release names no VERSION_CODENAME: this script needs Debian." >&2
    exit 1
fi
mirror="$(debian_mirror "$codename")"
if [ -z "$mirror" ]; then
    echo "No entry for '$codename main' in /etc/apt/sources.list or /etc/apt/sources.list.d/:" \
        "add the Debian mirror this machine uses there and run this again." >&2
    exit 1
fi
uri="${mirror%%$'\t'*}"
keyring="${mirror#*$'\t'}"
echo "   mirror: $uri $codename main${keyring:+ (keyring $keyring)}" >&2
apt_dir="$scratch/apt"
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/state" \
    "$scratch/sources"
printf 'deb-src %s%s %s main\n' "${keyring:+[signed-by=$keyring] }" "$uri" "$codename" \
    >"$apt_dir/sources.list"
# The machine's own lists, caches and sources stay as they are: everything apt writes goes
# under the scratch folder.
apt_options=(
    -o "Dir::Etc::sourcelist=$apt_dir/sources.list" -o Dir::Etc::sourceparts=/dev/null
    -o "Dir::State=$apt_dir/state" -o "Dir::State::Lists=$apt_dir/lists"
    -o "Dir::Cache=$apt_dir/cache"
)
# As root, apt downloads as its own user, who cannot write into a home folder.
if [ "$(id -u)" -eq 0 ]; then apt_options+=(-o APT::Sandbox::User=root); fi
run sources.log apt-get "${apt_options[@]}" update
(cd "$scratch/sources" && run sources.log apt-get "${apt_options[@]}" source --download-only \
    qt6-base sqlite3 postgresql-15)
qt_archive="$(one_file 'qt6-base_*.orig.tar.*')"
sqlite_dsc="$(one_file 'sqlite3_*.dsc')"
pg_dsc="$(one_file 'postgresql-15_*.dsc')"
source_version="${qt_archive##*/qt6-base_}"
source_version="${source_version%%.orig.tar.*}"
source_version="${source_version%%[+~]*}"
if [ "$source_version" != "$version" ]; then
    echo "Debian's qt6-base source on $uri is $source_version, the host's Qt tools are $version:" \
        "upgrade qt6-base-dev-tools and qt6-base-dev (apt-get upgrade) so that both match." >&2
    exit 1
fi
done_step "sources"

# The database clients are built from Debian's source as Debian builds its own packages, with
# Debian's patches (security fixes among them) applied.
begin "SQLite (amalgamation DLL)"
mkdir -p "$scratch/deps-src"
run sqlite.log dpkg-source -x "$sqlite_dsc" "$scratch/deps-src/sqlite3"
mkdir -p "$deps/bin" "$deps/lib" "$deps/include"
(
    cd "$scratch/deps-src/sqlite3"
    run sqlite.log ./configure --disable-tcl --disable-readline
    run sqlite.log make sqlite3.c
    run sqlite.log "$cc_w64" -O2 -DSQLITE_THREADSAFE=1 -DSQLITE_ENABLE_COLUMN_METADATA \
        '-DSQLITE_API=__declspec(dllexport)' -shared -static-libgcc sqlite3.c -o sqlite3.dll \
        -Wl,--out-implib,libsqlite3.dll.a
    # The debugging data comes from the runtime's static parts, not from SQLite.
    run sqlite.log "$target-strip" --strip-unneeded sqlite3.dll
    cp sqlite3.dll "$deps/bin/"
    cp libsqlite3.dll.a "$deps/lib/"
    cp sqlite3.h src/sqlite3ext.h "$deps/include/"
)
done_step "SQLite"

begin "libpq (PostgreSQL client DLL)"
run libpq.log dpkg-source -x "$pg_dsc" "$scratch/deps-src/postgresql-15"
mkdir -p "$scratch/deps-build/postgresql-15"
(
    # A build folder of its own (configure called by its absolute path), which leaves the
    # unpacked source as Debian's.
    cd "$scratch/deps-build/postgresql-15"
    run libpq.log "$scratch/deps-src/postgresql-15/configure" --host="$target" --prefix="$deps" \
        --without-readline --without-zlib --without-icu --without-openssl --without-gssapi \
        --without-ldap CC="$target-gcc-posix"
    for dir in src/include src/common src/port src/interfaces/libpq; do
        run libpq.log make -j "$jobs" -C "$dir"
    done
    run libpq.log "$target-strip" --strip-unneeded src/interfaces/libpq/libpq.dll
    cp src/interfaces/libpq/libpq.dll "$deps/bin/"
    cp src/interfaces/libpq/libpq.a "$deps/lib/"
    cp "$scratch/deps-src/postgresql-15/src/interfaces/libpq/libpq-fe.h" \
        "$scratch/deps-src/postgresql-15/src/interfaces/libpq/libpq-events.h" \
        "$scratch/deps-src/postgresql-15/src/include/postgres_ext.h" \
        src/include/pg_config_ext.h src/include/pg_config.h "$deps/include/"
)
done_step "libpq"

# Qt from its upstream archive as Debian ships it, without Debian's patches, which are made for
# Debian's own Linux build; the three edits below are what the Windows build needs.
begin "Qt source and its three edits"
qt_src="$scratch/qtbase-everywhere-src-$version"
unpack "$qt_archive" "$qt_src"

# edit FILE FROM TO
# Replaces every line that is exactly FROM with TO; fails when FILE has no such line, since the
# build then needs another look at this Qt source rather than a silent build without the edit.
edit() {
    local file="$qt_src/$1" count
    count="$(grep -cFx -- "$2" "$file" || true)"
    if [ "$count" -eq 0 ]; then
        echo "Qt source edit failed: no line '$2' in $1. This Qt source is not the one the edits" \
            "were written for: look at that file and adapt the edits in scripts/build-qt-windows.sh." >&2
        exit 1
    fi
    FROM="$2" TO="$3" perl -pi -e 's/^\Q$ENV{FROM}\E$/$ENV{TO}/' "$file"
    if [ "$(grep -cFx -- "$3" "$file" || true)" -ne "$count" ]; then
        echo "Qt source edit failed in $1: '$3' not in place of '$2'." >&2
        exit 1
    fi
    echo "   $1: $count line(s) edited" >&2
}

# Debian's source carries no Wintab (wintab.h): tablet support in the windows platform
# plugin is left out by requiring a macro that nothing defines.
windows=src/plugins/platforms/windows
for file in qwindowscontext.h qwindowscontext.cpp qwindowspointerhandler.h \
    qwindowspointerhandler.cpp; do
    if grep -qF 'QT_CONFIG(tabletevent)' "$qt_src/$windows/$file"; then
        edit "$windows/$file" '#if QT_CONFIG(tabletevent)' \
            '#if QT_CONFIG(tabletevent) && defined(PLINOVA_HAVE_WINTAB)'
    fi
    # Any other use of the feature would still reach for Wintab.
    if grep -F 'QT_CONFIG(tabletevent)' "$qt_src/$windows/$file" \
        | grep -vxF -e '#if QT_CONFIG(tabletevent) && defined(PLINOVA_HAVE_WINTAB)' \
            -e '#endif // QT_CONFIG(tabletevent)' >&2; then
        echo "Qt source edit failed: $windows/$file uses QT_CONFIG(tabletevent) in a way the" \
            "edit does not cover (above): adapt scripts/build-qt-windows.sh." >&2
        exit 1
    fi
done
for plugin in windows:QWindowsIntegrationPlugin direct2d:QWindowsDirect2DIntegrationPlugin; do
    line="qt_internal_extend_target(${plugin#*:} CONDITION QT_FEATURE_tabletevent"
    # shellcheck disable=SC2016 # a CMake variable, for CMake to expand
    edit "src/plugins/platforms/${plugin%%:*}/CMakeLists.txt" "$line" \
        "$line"' AND EXISTS "${QtBase_SOURCE_DIR}/src/3rdparty/wintab/wintab.h"'
done
# Without OpenGL, dynamicgl stays on and would pull in the OpenGL context code.
edit "$windows/qwindowswindow.cpp" '#if QT_CONFIG(dynamicgl)' \
    '#if QT_CONFIG(dynamicgl) && QT_CONFIG(opengl)'
done_step "Qt source"

# The toolchain of Qt's own build: the project's toolchain file links the runtime statically,
# which Qt's DLLs must not.
cat >"$scratch/toolchain.cmake" <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER $target-gcc-posix)
set(CMAKE_CXX_COMPILER $target-g++-posix)
set(CMAKE_RC_COMPILER $target-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$target "$deps")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF

begin "Qt configure"
qt_configure=(cmake -S "$qt_src" -B "$scratch/build" -G Ninja
    -DCMAKE_TOOLCHAIN_FILE="$scratch/toolchain.cmake" -DCMAKE_INSTALL_PREFIX="$stage"
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
    -DFEATURE_opengl=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF
    -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_vulkan=OFF -DFEATURE_system_zlib=OFF
    -DFEATURE_sql_sqlite=ON -DFEATURE_system_sqlite=ON -DFEATURE_sql_odbc=ON -DFEATURE_sql_psql=ON
    -DFEATURE_sql_mysql=OFF)
run qt-configure.log "${qt_configure[@]}"
# A first configure keeps its default install folders as "./plugins", "./bin", ...; a second
# one stores them as "plugins", "bin", ..., which is what the CMake packages, the pkg-config
# files and QtCore's compiled-in paths of the shared prefix name.
run qt-configure.log "${qt_configure[@]}"
if ! grep -qx 'INSTALL_PLUGINSDIR:STRING=plugins' "$scratch/build/CMakeCache.txt"; then
    echo "Qt's configure did not settle its install folders as expected: see $logs/qt-configure.log." >&2
    exit 1
fi
done_step "Qt configure"

begin "Qt build (ninja; progress in $logs/qt-build.log)"
run qt-build.log ninja -C "$scratch/build" -j "$jobs"
done_step "Qt build"

begin "Qt install"
run qt-install.log ninja -C "$scratch/build" install
done_step "Qt install"

begin "Prefix: database clients, compiler runtime, relocation, check"
# Qt's documentation tool configuration: no documentation is built against this prefix.
rm -rf "$stage/doc"
cp -r "$deps/bin" "$deps/lib" "$deps/include" "$stage/"
for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
    path="$("$target-g++-posix" -print-file-name="$dll")"
    if [ ! -f "$path" ]; then
        echo "The cross compiler has no $dll: reinstall g++-mingw-w64-x86-64-posix." >&2
        exit 1
    fi
    cp "$path" "$stage/bin/"
done
# Text files that name the scratch folder (pkg-config files, qmake's .prl and .pri files, a few
# CMake files) name fixed folders instead, so that the prefix's text is the same wherever it
# was built and nothing points into a folder that is gone. Longest paths first: they nest.
{ grep -rIlF -e "$scratch" "$stage" || true; } | while IFS= read -r file; do
    STAGE="$stage" DEPS="$deps" SCRATCH="$scratch" perl -pi -e '
        s/\Q$ENV{STAGE}\E/\/opt\/qt6-windows/g;
        s/\Q$ENV{DEPS}\E/\/opt\/qt6-windows/g;
        s/\Q$ENV{SCRATCH}\E/\/opt\/qt6-windows-build/g;' "$file"
done
if grep -rIlF -e "$scratch" "$stage" >&2; then
    echo "These text files of the prefix still name $scratch." >&2
    exit 1
fi
qtw_check_prefix "$stage" "$version"
mv -T "$stage" "$prefix"
done_step "prefix"

rm -rf "$scratch"
echo "Qt $version for Windows is in $prefix ($(qtw_since "$started") in all)." >&2
printf '%s\n' "$prefix"
