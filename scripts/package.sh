#!/usr/bin/env bash
# Builds the Debian packages plinova and plinova-cardsim into build-package/ (or
# $PLINOVA_PACKAGE_DIR) with CPack, from the tree built by scripts/build.sh in build/ (or
# $PLINOVA_BUILD_DIR), so that packaging after the tests compiles nothing again. Then checks
# each package with lintian: an error or a warning fails the script.
#
# lintian finds no error and no warning in these packages, so no tag is let through. Asked
# for information tags as well (lintian -I), it notes for each program:
#   hardening-no-fortify-functions, hardening-no-bindnow: the programs are built with the
#     compiler's defaults (PIE, read-only relocations), not with _FORTIFY_SOURCE or
#     immediate binding;
#   binary-has-unneeded-section: the compiler's .comment section, which stripping keeps.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${PLINOVA_BUILD_DIR:-$root/build}"
out="${PLINOVA_PACKAGE_DIR:-$root/build-package}"

PLINOVA_BUILD_DIR="$build" bash "$root/scripts/build.sh"
rm -rf "$out"
mkdir -p "$out"
if ! (cd "$build" && cpack -G DEB -B "$out" >"$out/cpack.log" 2>&1); then
    cat "$out/cpack.log" >&2
    exit 1
fi
rm -rf "$out/_CPack_Packages"

status=0
for deb in "$out"/*.deb; do
    # Tags come one a line, "E: package: tag ..." or "W: ...".
    report="$(lintian --fail-on none "$deb" 2>&1 | grep -v '^running with root privileges' || true)"
    if grep -q '^[EW]: ' <<<"$report"; then
        echo "lintian on $(basename "$deb"):" >&2
        echo "$report" >&2
        status=1
    fi
done
if [ "$status" -ne 0 ]; then exit "$status"; fi
echo "Packages in $out (lintian: no errors or warnings):"
ls -1 "$out"/*.deb
