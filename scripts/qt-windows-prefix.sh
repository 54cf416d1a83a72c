#!/usr/bin/env bash
# Prints the absolute path of a Qt for Windows prefix the project can build against, and
# nothing else on stdout. The first that applies:
#   1. $PLINOVA_QT6_WINDOWS, when set (it must hold what the project needs);
#   2. the cache folder, ${XDG_CACHE_HOME:-$HOME/.cache}/plinova/qt6-windows-<version>, when it
#      holds a prefix that matches;
#   3. the shared archive ($PLINOVA_QT6_WINDOWS_ARCHIVE, default
#      ../shared/qt6-windows/qt6-windows.tar.xz beside the repository), unpacked into the cache
#      folder, when it matches;
#   4. a build from Debian's sources into the cache folder (scripts/build-qt-windows.sh, 30 to 90
#      minutes).
# A prefix matches when it is the Qt version of Debian's host tools (qt6-base-dev-tools) and
# holds every file the project needs; what a prefix lacks is said on stderr.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
# shellcheck source=scripts/qt-windows-lib.sh
. "$root/scripts/qt-windows-lib.sh"

bash "$root/scripts/install-deps.sh" qt6-base-dev-tools >&2
version="$(qtw_host_qt_version)"

if [ -n "${PLINOVA_QT6_WINDOWS:-}" ]; then
    prefix="$(realpath -m "$PLINOVA_QT6_WINDOWS")"
    if ! qtw_check_prefix "$prefix" "$version"; then
        echo "PLINOVA_QT6_WINDOWS names no usable prefix (above): unset it, or point it at one." >&2
        exit 1
    fi
    printf '%s\n' "$prefix"
    exit 0
fi

cache="$(realpath -m "$(qtw_default_prefix "$version")")"
if [ -d "$cache" ] && qtw_check_prefix "$cache" "$version" 2>/dev/null; then
    printf '%s\n' "$cache"
    exit 0
fi

mkdir -p "$(dirname "$cache")"
# Callers at the same time take turns: the second finds what the first left.
exec {lock}>"$cache.lock"
flock "$lock"

# A cache folder that does not match is moved out of the way whole, then removed, so that
# nobody sees it half removed.
if [ -e "$cache" ]; then
    if qtw_check_prefix "$cache" "$version"; then
        printf '%s\n' "$cache"
        exit 0
    fi
    echo "Replacing the cached prefix $cache, which does not match (above)." >&2
    stale="$(mktemp -d "$cache.stale.XXXXXX")"
    mv -T "$cache" "$stale/prefix"
    rm -rf "$stale"
fi

archive="$(realpath -m "${PLINOVA_QT6_WINDOWS_ARCHIVE:-$root/../shared/qt6-windows/qt6-windows.tar.xz}")"
if [ -f "$archive" ]; then
    started="$(qtw_now)"
    # Unpacked beside the cache folder and renamed into place once checked: a caller that
    # finds the cache folder finds it whole.
    tmp="$(mktemp -d "$cache.unpack.XXXXXX")"
    trap 'rm -rf "$tmp"' EXIT
    unpacked=()
    if tar -xf "$archive" -C "$tmp"; then
        unpacked=("$tmp"/*)
    fi
    if [ ${#unpacked[@]} -eq 1 ] && [ -d "${unpacked[0]}" ] \
        && qtw_check_prefix "${unpacked[0]}" "$version"; then
        mv -T "${unpacked[0]}" "$cache"
        echo "Unpacked $archive into $cache in $(qtw_since "$started")." >&2
        printf '%s\n' "$cache"
        exit 0
    fi
    echo "The shared archive $archive does not hold a matching prefix (above): building one." >&2
    rm -rf "$tmp"
    trap - EXIT
else
    echo "No shared archive at $archive: building Qt for Windows from Debian's sources." >&2
fi

# The build takes a lock of its own on the same prefix.
exec {lock}>&-
bash "$root/scripts/build-qt-windows.sh" "$cache" >&2
printf '%s\n' "$cache"
