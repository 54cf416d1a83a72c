#!/usr/bin/env bash
# Installs the Debian packages only the benchmarks need (the tests do not): PgBouncer for the
# many-stations benchmark and gnuplot for its picture. Does nothing when they are present.
# The benchmark scripts run it; CI does not.
set -euo pipefail

packages=(pgbouncer gnuplot-nox)

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
