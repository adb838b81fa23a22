#!/usr/bin/env bash
# Starts the services the tests talk to: two PostgreSQL clusters on the loopback address, owned by
# an unprivileged user (the `postgres` account when run as root, else the caller).
#
#   main     port 54315  database quiva_test  user quiva (password below, scram on TCP)
#   restart  port 54316  the same; only the reconnection test stops and starts it
#
# Everything lives in ${QUIVA_PG_DIR:-/tmp/quiva-pg}: data folders, the socket folder sock/, logs
# and connection.ini, which the tests read. Running the script again while the clusters run does
# nothing; a stopped cluster is started again. `start-services.sh stop` stops both.
set -euo pipefail

base=${QUIVA_PG_DIR:-/tmp/quiva-pg}
main_port=54315
restart_port=54316
user=quiva
password=quiva-test-pw
database=quiva_test

bindir=""
for d in /usr/lib/postgresql/15/bin $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -Vr); do
  if [ -x "$d/pg_ctl" ]; then bindir=$d; break; fi
done
if [ -z "$bindir" ]; then
  echo "start-services: PostgreSQL server programs not found (package postgresql)" >&2
  exit 1
fi

if [ "$(id -u)" -eq 0 ]; then
  owner=postgres
  as_owner() { runuser -u "$owner" -- "$@"; }
else
  owner=$(id -un)
  as_owner() { "$@"; }
fi

mkdir -p "$base"
chmod 0755 "$base"
exec 9>"$base/.lock"
flock 9
# The reconnection test stops and starts the second cluster while holding this lock.
exec 8>>"$base/restart.lock"
chmod 0666 "$base/restart.lock" 2>/dev/null || true
flock 8

cluster_dir() { echo "$base/$1"; }

init_cluster() {
  local dir=$1 port=$2
  if [ -f "$dir/PG_VERSION" ]; then return; fi
  rm -rf "$dir"
  mkdir -p "$dir" "$base/sock"
  chown "$owner" "$dir" "$base/sock"
  chmod 0700 "$dir"
  local pwfile
  pwfile=$(mktemp)
  echo "$password" >"$pwfile"
  chown "$owner" "$pwfile"
  as_owner "$bindir/initdb" -D "$dir" -U "$user" --pwfile="$pwfile" -E UTF8 --no-locale \
    --auth-local=trust --auth-host=scram-sha-256 >"$base/initdb-$(basename "$dir").log"
  rm -f "$pwfile"
  as_owner tee -a "$dir/postgresql.conf" >/dev/null <<CONF
listen_addresses = '127.0.0.1'
port = $port
unix_socket_directories = '$base/sock'
max_connections = 100
shared_buffers = 16MB
fsync = off
synchronous_commit = off
full_page_writes = off
log_min_messages = warning
CONF
}

start_cluster() {
  local dir=$1 port=$2
  if as_owner "$bindir/pg_ctl" -D "$dir" status >/dev/null 2>&1; then return; fi
  as_owner "$bindir/pg_ctl" -D "$dir" -l "$dir/server.log" -w -t 60 start >/dev/null 8>&- 9>&-
  if ! as_owner "$bindir/psql" -h "$base/sock" -p "$port" -U "$user" -d postgres -tAq \
      -c "SELECT 1 FROM pg_database WHERE datname = '$database'" | grep -q 1; then
    as_owner "$bindir/createdb" -h "$base/sock" -p "$port" -U "$user" "$database"
  fi
}

stop_cluster() {
  local dir=$1
  if [ -f "$dir/PG_VERSION" ]; then
    as_owner "$bindir/pg_ctl" -D "$dir" -m fast -w stop >/dev/null 2>&1 || true
  fi
}

if [ "${1:-}" = "stop" ]; then
  stop_cluster "$(cluster_dir main)"
  stop_cluster "$(cluster_dir restart)"
  echo "start-services: PostgreSQL stopped"
  exit 0
fi

init_cluster "$(cluster_dir main)" $main_port
init_cluster "$(cluster_dir restart)" $restart_port
start_cluster "$(cluster_dir main)" $main_port
start_cluster "$(cluster_dir restart)" $restart_port

# Test programs make a database of their own (quiva_t<pid>) and drop it at exit; drop those of
# programs that died before they could.
for db in $(as_owner "$bindir/psql" -h "$base/sock" -p $main_port -U "$user" -d postgres -tAq \
              -c "SELECT datname FROM pg_database WHERE datname ~ '^quiva_t[0-9]+$'"); do
  if [ ! -d "/proc/${db#quiva_t}" ]; then
    as_owner "$bindir/dropdb" -h "$base/sock" -p $main_port -U "$user" --force "$db" || true
  fi
done

cat >"$base/connection.ini.new" <<INI
; Written by scripts/start-services.sh: how the tests reach the PostgreSQL servers.
[postgresql]
host=127.0.0.1
port=$main_port
user=$user
password=$password
database=$database
[restart]
port=$restart_port
pg_ctl=$bindir/pg_ctl
data=$(cluster_dir restart)
owner=$owner
INI
mv "$base/connection.ini.new" "$base/connection.ini"
echo "start-services: PostgreSQL on 127.0.0.1:$main_port and :$restart_port ($base)"
