#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test, run the demo,
# take screenshots, build and check the Debian packages, and cross-build for Windows, run
# that build's tests under wine and make its installer. Does nothing when they are all present.
# With package names as arguments, installs those instead (when missing).
# A run that checked already says so with PLINOVA_DEPS_CHECKED=1 (scripts/test.sh), and its
# scripts then skip the check.
set -euo pipefail
[ $# -eq 0 ] && [ "${PLINOVA_DEPS_CHECKED:-0}" = 1 ] && exit 0

packages=("$@")
[ $# -gt 0 ] || packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools qt6-base-private-dev
  libqt6sql6-sqlite libqt6sql6-psql libqt6sql6-odbc
  libpq-dev libsqlite3-dev
  libgl-dev libgtest-dev libgmock-dev googletest libbenchmark-dev libboost-dev
  unixodbc unixodbc-dev odbc-postgresql tdsodbc
  postgresql postgresql-client sqlite3
  xvfb xauth x11-utils xdotool imagemagick fonts-liberation fonts-dejavu-core
  clang libclang-rt-14-dev clang-format procps libtsan2 libasan8 libubsan1
  dpkg-dev lintian man-db
  # Without its preloader wine now and then fails to start a program (README, "Windows").
  g++-mingw-w64-x86-64-posix wine wine64 wine64-preloader
  # The Windows installer (CPack's NSIS generator).
  nsis
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
