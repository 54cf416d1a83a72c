#!/usr/bin/env bash
# Starts a throwaway PostgreSQL 15 cluster for the database tests, listening only on 127.0.0.1,
# with one login role (allowed to create databases) and one database of its own.
# Prints shell export lines; use it as:  eval "$(scripts/start-test-postgres.sh)"
# Stop it with scripts/stop-test-postgres.sh (reads PLINOVA_TEST_PG_DIR).
# Optional argument: the first port to try (default 54329); the next free one is taken.
set -euo pipefail

pgbin=/usr/lib/postgresql/15/bin
port=${1:-54329}
role=plinova_test
database=plinova_test

if [ ! -x "$pgbin/initdb" ]; then
    echo "start-test-postgres: $pgbin/initdb not found (install Debian's postgresql-15)" >&2
    exit 1
fi

port_in_use() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
tries=0
while port_in_use "$port"; do
    port=$((port + 1))
    tries=$((tries + 1))
    if [ "$tries" -ge 100 ]; then
        echo "start-test-postgres: no free port found" >&2
        exit 1
    fi
done

dir=$(mktemp -d /tmp/plinova-test-pg.XXXXXX)
touch "$dir/.plinova-test-cluster"
as_owner=()
if [ "$(id -u)" -eq 0 ]; then
    chown postgres:postgres "$dir"
    chmod 700 "$dir"
    as_owner=(runuser -u postgres --)
fi

password=$(head -c 24 /dev/urandom | base64 | tr -dc 'A-Za-z0-9' | head -c 24)

"${as_owner[@]}" "$pgbin/initdb" -D "$dir/data" -U postgres --auth-local=trust \
    --auth-host=scram-sha-256 -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 || {
    cat "$dir/initdb.log" >&2
    exit 1
}
# Durability is of no use to a throwaway cluster; turning it off keeps database creation fast.
"${as_owner[@]}" "$pgbin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
    -o "-c listen_addresses=127.0.0.1 -p $port -k $dir -c fsync=off -c autovacuum=off -c synchronous_commit=off -c full_page_writes=off" \
    start >/dev/null || {
    cat "$dir/server.log" >&2
    exit 1
}

psql_admin=("${as_owner[@]}" "$pgbin/psql" -X -q -v ON_ERROR_STOP=1 -h "$dir" -p "$port" -U postgres -d postgres)
"${psql_admin[@]}" -c "CREATE ROLE $role LOGIN CREATEDB PASSWORD '$password'" >/dev/null
"${psql_admin[@]}" -c "CREATE DATABASE $database OWNER $role" >/dev/null

cat <<OUT
export PLINOVA_TEST_PG_HOST=127.0.0.1
export PLINOVA_TEST_PG_PORT=$port
export PLINOVA_TEST_PG_DB=$database
export PLINOVA_TEST_PG_USER=$role
export PLINOVA_TEST_PG_PASSWORD=$password
export PLINOVA_TEST_PG_DIR=$dir
OUT
