#!/usr/bin/env bash
# A PostgreSQL 15 server of the tests' own: on a Unix socket in a new temporary directory, no
# TCP, run as an unprivileged user (postgres when started by root).
#   pg_server.sh start INFO [--durable]   writes "host=DIR port=PORT user=postgres" to INFO
#   pg_server.sh stop INFO                stops it and removes its directory
# Without a PostgreSQL 15 server installed, start writes "unavailable" and succeeds, so that the
# tests that need one say they are skipped.
set -euo pipefail
cmd="$1"; info="$2"; durable="${3:-}"
bin=/usr/lib/postgresql/15/bin
port=55432

as_server() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

case "$cmd" in
start)
  if [ ! -x "$bin/initdb" ]; then
    echo "unavailable: $bin/initdb not installed (apt-get install postgresql-15)" > "$info"
    exit 0
  fi
  dir=$(mktemp -d /tmp/mirvane-pg.XXXXXX)
  chmod 755 "$dir"
  [ "$(id -u)" -ne 0 ] || chown postgres: "$dir"
  as_server "$bin/initdb" -D "$dir/data" -A trust -U postgres -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 \
    || { cat "$dir/initdb.log"; exit 1; }
  opts="-k $dir -c listen_addresses= -p $port"
  # The tests' server needs no durability; a benchmark asks for a real one.
  [ "$durable" = "--durable" ] || opts="$opts -c fsync=off -c synchronous_commit=off -c full_page_writes=off"
  as_server "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 -o "$opts" start >/dev/null \
    || { cat "$dir/server.log"; exit 1; }
  echo "host=$dir port=$port user=postgres" > "$info"
  echo "PostgreSQL 15 on $dir/.s.PGSQL.$port"
  ;;
stop)
  [ -f "$info" ] || exit 0
  dir=$(sed -n 's/^host=\([^ ]*\) .*/\1/p' "$info")
  if [ -n "$dir" ] && [ -d "$dir/data" ]; then
    as_server "$bin/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null || true
    rm -rf "$dir"
  fi
  rm -f "$info"
  ;;
*)
  echo "usage: $0 start|stop INFO [--durable]" >&2; exit 2 ;;
esac
