#!/usr/bin/env bash
# A PostgreSQL 15 server of the tests' own: on a Unix socket in a new temporary directory, no
# TCP, run as an unprivileged user (postgres when started by root).
#   pg_server.sh start INFO [--durable]   writes "host=DIR port=PORT user=postgres" to INFO
#   pg_server.sh stop INFO                stops it (stalled or not) and removes its directory
# Faults of a server that comes and goes (its data stays):
#   pg_server.sh down INFO                shuts the server down (fast: sessions are ended)
#   pg_server.sh up INFO                  starts it again
#   pg_server.sh stall INFO               stops every process of the server with SIGSTOP, the
#                                         backends serving open sessions included: a hung server
#   pg_server.sh resume INFO              lets them go on (SIGCONT)
# Without a PostgreSQL 15 server installed, start writes "unavailable" and succeeds, so that the
# tests that need one say they are skipped.
set -euo pipefail
cmd="$1"; info="$2"; durable="${3:-}"
bin=/usr/lib/postgresql/15/bin
port=55432

as_server() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

# The server is a daemon that may outlive whoever started it (a test that crashed): it must not
# keep their open files, a lock such as mirvane-exclusive's above all.
close_inherited_files() {
  local fd n
  for fd in /proc/$$/fd/*; do
    n=${fd##*/}
    [ "$n" -gt 2 ] 2>/dev/null && eval "exec $n>&-" 2>/dev/null
  done
  return 0
}

server_dir() { sed -n 's/^host=\([^ ]*\) .*/\1/p' "$info"; }

# The postmaster and every process it started, the postmaster first.
server_pids() {
  local pm s pid comm state ppid rest
  pm=$(head -n 1 "$(server_dir)/data/postmaster.pid")
  echo "$pm"
  for s in /proc/[0-9]*/stat; do
    read -r pid comm state ppid rest < "$s" 2>/dev/null || continue
    [ "$ppid" = "$pm" ] && echo "$pid"
  done
  return 0
}

case "$cmd" in
start|up) close_inherited_files ;;
esac

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
  echo "$opts" > "$dir/options"
  as_server "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 -o "$opts" start >/dev/null \
    || { cat "$dir/server.log"; exit 1; }
  echo "host=$dir port=$port user=postgres" > "$info"
  echo "PostgreSQL 15 on $dir/.s.PGSQL.$port"
  ;;
stop)
  [ -f "$info" ] || exit 0
  dir=$(server_dir)
  if [ -n "$dir" ] && [ -d "$dir/data" ]; then
    # One that is down has no pid file; a stalled one would never answer pg_ctl.
    if [ -f "$dir/data/postmaster.pid" ]; then
      for pid in $(server_pids); do kill -CONT "$pid" 2>/dev/null || true; done
      as_server "$bin/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null || true
    fi
    rm -rf "$dir"
  fi
  rm -f "$info"
  ;;
down)
  as_server "$bin/pg_ctl" -D "$(server_dir)/data" -m fast -w stop >/dev/null
  ;;
up)
  dir=$(server_dir)
  as_server "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 -o "$(cat "$dir/options")" start >/dev/null \
    || { tail -n 20 "$dir/server.log"; exit 1; }
  ;;
stall)
  # The postmaster first, so that it starts no new process meanwhile.
  for pid in $(server_pids); do kill -STOP "$pid"; done
  ;;
resume)
  for pid in $(server_pids); do kill -CONT "$pid"; done
  ;;
*)
  echo "usage: $0 start|stop|down|up|stall|resume INFO [--durable]" >&2; exit 2 ;;
esac
