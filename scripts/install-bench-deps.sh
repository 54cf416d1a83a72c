#!/usr/bin/env bash
# Installs the Debian packages only the benchmarks need (the tests do not): PgBouncer for the
# many-stations benchmark and gnuplot for its picture. Does nothing when they are present.
# The benchmark scripts run it; CI does not.
set -euo pipefail
exec bash "$(dirname "$0")/install-deps.sh" pgbouncer gnuplot-nox
