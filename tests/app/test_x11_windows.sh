#!/usr/bin/env bash
# The station's windows on a real X server, and what it says when its port cannot be opened.
#  - Under Xvfb the main window and the error box carry exactly the station's own titles
#    (no application name appended), and the error output names why the port failed.
#  - As an unprivileged user (when run as root) against a device only root may use, the error
#    output names the reason, the device's group and the command that adds the user to it.
# Usage: test_x11_windows.sh BUILD_DIR
set -euo pipefail
build="$1"
program="$build/app/mirvane"
title='Mirvane - версия 3.5.1' # the main window's, exactly
work=$(mktemp -d)
chmod 755 "$work"
pids=()
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

station() { # DIR PORT: a station with one tag whose controller port is PORT
  mkdir -p "$1"
  printf '[Reg_1]\nName=Brake1\nPage=1\n' >"$1/Profile.dat"
  printf '[Device]\nPortName=%s\n' "$2" >"$1/mirvane.ini"
  chmod -R a+rX "$1"
}

# 1. Window titles on X.
station "$work/st" "$work/st/no-port"
cat >"$work/titles.sh" <<'SH'
set -u
"$1" --station-dir "$2/st" 2>"$2/titles.err" &
pid=$!
titles() { # every named top-level window's _NET_WM_NAME, one a line
  for id in $(xwininfo -root -children | awk '$2 ~ /^"/ {print $1}'); do
    xprop -id "$id" _NET_WM_NAME 2>/dev/null | sed -n 's/^_NET_WM_NAME(UTF8_STRING) = "\(.*\)"$/\1/p'
  done
}
for _ in $(seq 150); do
  t=$(titles)
  if grep -qx 'Ошибка' <<<"$t" && grep -qxF "$3" <<<"$t"; then break; fi
  sleep 0.2
done
titles >"$2/titles.txt"
kill "$pid"
wait "$pid" 2>/dev/null
exit 0
SH
LC_ALL=C.UTF-8 QT_QPA_PLATFORM=xcb DBUS_SESSION_BUS_ADDRESS=disabled: \
  timeout 120 xvfb-run -a bash "$work/titles.sh" "$program" "$work" "$title"
grep -qxF "$title" "$work/titles.txt" || fail "no main window titled exactly '$title': $(cat "$work/titles.txt")"
grep -qx 'Ошибка' "$work/titles.txt" || fail "no error box titled exactly 'Ошибка': $(cat "$work/titles.txt")"
if grep -q 'POST Mirvane' "$work/titles.txt"; then fail "a title carries the application's name: $(cat "$work/titles.txt")"; fi
grep -q "cannot open the controller's port $work/st/no-port: no such device" "$work/titles.err" ||
  fail "the error output does not say why: $(cat "$work/titles.err")"
echo "titles: $(tr '\n' '|' <"$work/titles.txt")"

# 2. A device the user may not open.
if [ "$(id -u)" -ne 0 ]; then
  echo "permission case skipped: it needs root to make a device only root may use"
  exit 0
fi
# A pseudo-terminal made a device of group dialout that only its owner, root, may use.
python3 -c '
import os, pty, sys, time
m, s = pty.openpty()
print(os.ttyname(s), flush=True)
time.sleep(120)
' >"$work/pty" &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/pty" ] && break; sleep 0.1; done
dev=$(head -1 "$work/pty")
[ -c "$dev" ] || fail "no pseudo-terminal"
chown root:dialout "$dev"
chmod 0600 "$dev"
station "$work/st2" "$dev"
mkdir -m 1777 "$work/out"
runuser -u nobody -- env QT_QPA_PLATFORM=offscreen DBUS_SESSION_BUS_ADDRESS=disabled: HOME="$work/out" \
  timeout 60 "$program" --station-dir "$work/st2" --screenshot "$work/out/shot.png" --screenshot-after 300 \
  2>"$work/perm.err" || fail "the station did not run on: $(cat "$work/perm.err")"
for want in "cannot open the controller's port $dev: permission denied" "group dialout" \
            "sudo usermod -aG dialout nobody" "mode 0600"; do
  grep -qF "$want" "$work/perm.err" || fail "the error output lacks '$want': $(cat "$work/perm.err")"
done
echo "unprivileged: $(grep 'controller' "$work/perm.err")"
