#!/usr/bin/env bash
# Stops the cluster started by start-test-postgres.sh and removes its folder.
# Argument: the cluster folder; default: $PLINOVA_TEST_PG_DIR.
set -euo pipefail

pgbin=/usr/lib/postgresql/15/bin
dir=${1:-${PLINOVA_TEST_PG_DIR:-}}
if [ -z "$dir" ]; then
    echo "stop-test-postgres: no cluster folder given and PLINOVA_TEST_PG_DIR is not set" >&2
    exit 1
fi
# Only ever remove a folder this project's start script made.
if [ ! -f "$dir/.plinova-test-cluster" ]; then
    echo "stop-test-postgres: $dir is not a test cluster folder" >&2
    exit 1
fi

as_owner=()
if [ "$(id -u)" -eq 0 ]; then as_owner=(runuser -u postgres --); fi
if [ -f "$dir/data/postmaster.pid" ]; then
    "${as_owner[@]}" "$pgbin/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null
fi
rm -rf "$dir"
