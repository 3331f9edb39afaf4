#!/usr/bin/env bash
# The Debian package on this machine, as a service engineer installs it and hands the station
# to an operator: built with debhelper, checked (lintian, AppStream, the desktop entry),
# installed, started by an ordinary user with no options under X, registered for automation
# and unregistered, and removed and purged without leaving anything behind.
# Usage: test_package.sh SOURCE_DIR BUILD_DIR. Exits 77 (skipped) where it cannot install packages.
set -euo pipefail
src="$1"
build="$2"
service=/usr/share/dbus-1/services/Mirvane.Kalvex.service
title='Mirvane - версия 3.5.1' # the main window's, exactly

if [ "$(id -u)" -ne 0 ]; then
  echo "SKIP: installing a package needs root"; exit 77
fi
if dpkg-query -W -f='${Status}' mirvane 2>/dev/null | grep -q 'install ok installed'; then
  echo "SKIP: a mirvane package is installed here already; not touching it"; exit 77
fi
if [ -e "$service" ]; then
  echo "SKIP: $service is here already; not touching it"; exit 77
fi

work=$(mktemp -d)
chmod 755 "$work"
user=mirvane-pkgtest
made_user=
cleanup() {
  dpkg --purge mirvane >/dev/null 2>&1 || true
  # Only an activation this test made can be here (it skips when one was there before).
  if [ -f "$service" ] && grep -qx 'Name=Mirvane.Kalvex' "$service"; then rm -f "$service"; fi
  if [ -n "$made_user" ]; then userdel -r "$user" >/dev/null 2>&1 || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Built the Debian way, in a copy of the tree (a second run reuses its build directory).
deb=$(bash "$src/scripts/package" "$build/deb" | tail -n 1)
echo "package: $(basename "$deb")"

# lintian: no error and no warning (an override in debian/ carries its reason).
lintian --allow-root --fail-on error,warning --display-info "$build"/deb/mirvane_*_amd64.changes ||
  fail "lintian found errors or warnings"

dpkg-deb -x "$deb" "$work/content"
appstreamcli validate --no-net "$work"/content/usr/share/metainfo/*.metainfo.xml
desktop-file-validate "$work/content/usr/share/applications/mirvane.desktop"
zcat "$work/content/usr/share/man/man1/mirvane.1.gz" | grep -q 'usermod \\-aG dialout' ||
  fail "the manual page does not tell the dialout rule"

dpkg -i "$deb" >/dev/null
for f in /usr/bin/mirvane /usr/bin/mirvane-stand-sim; do test -x "$f"; done
for f in /usr/share/applications/mirvane.desktop /usr/share/icons/hicolor/scalable/apps/mirvane.svg \
         /usr/share/dbus-1/interfaces/Mirvane.IKalvex.xml /usr/share/metainfo/org.mirvane_project.mirvane.metainfo.xml \
         /usr/share/man/man1/mirvane.1.gz /usr/share/man/man1/mirvane-stand-sim.1.gz /usr/share/doc/mirvane/copyright; do
  test -f "$f" || fail "not installed: $f"
done
version=$(/usr/bin/mirvane --version)
echo "installed: $version"
[ "$version" = "mirvane $(dpkg-deb -f "$deb" Version)" ]

/usr/bin/mirvane --init-station "$work/st"
for f in mirvane.ini Profile.dat Titles.txt Mirvane.db; do test -f "$work/st/$f"; done
QT_QPA_PLATFORM=offscreen DBUS_SESSION_BUS_ADDRESS=disabled: timeout 60 /usr/bin/mirvane --station-dir "$work/st" \
  --screenshot "$work/st/shot.png" --screenshot-after 1500 2>/dev/null
file "$work/st/shot.png" | grep -q 'PNG image data'

# As root with no station named, nothing is written beside the program.
HOME="$work/roothome" XDG_DATA_HOME= /usr/bin/mirvane --create-database >/dev/null
test -f "$work/roothome/.local/share/mirvane/Mirvane.db" || fail "--create-database did not use the user's data directory"

# An ordinary user starts the installed station from the menu: no options, an X display.
useradd --create-home --shell /bin/bash "$user"
made_user=1
home=$(getent passwd "$user" | cut -d: -f6)
cat >"$work/operator.sh" <<'SH'
set -u
cd "$HOME"
mirvane 2>"$HOME/mirvane.err" &
pid=$!
for _ in $(seq 150); do
  xwininfo -root -children | grep -qF "\"$1\"" && break
  sleep 0.2
done
xwininfo -root -children >"$HOME/windows.txt"
sleep 1
kill "$pid" 2>/dev/null && echo running >"$HOME/state.txt"
wait "$pid" 2>/dev/null
exit 0
SH
chmod 644 "$work/operator.sh"
runuser -u "$user" -- env -i HOME="$home" USER="$user" PATH=/usr/bin:/bin LANG=C.UTF-8 \
  DBUS_SESSION_BUS_ADDRESS=disabled: timeout 120 xvfb-run -a bash "$work/operator.sh" "$title"
for f in mirvane.ini Profile.dat Titles.txt Mirvane.db; do
  test -f "$home/.local/share/mirvane/$f" || fail "the first start did not lay out $f: $(cat "$home/mirvane.err")"
done
grep -qF "\"$title\"" "$home/windows.txt" || fail "no main window: $(cat "$home/windows.txt")"
grep -q '"Новое рабочее место"' "$home/windows.txt" || fail "the operator was not told where the station is"
grep -q "laid out a new station in $home/.local/share/mirvane" "$home/mirvane.err" || fail "$(cat "$home/mirvane.err")"
[ "$(cat "$home/state.txt" 2>/dev/null)" = running ] || fail "the station ended by itself: $(cat "$home/mirvane.err")"
echo "operator's first start: $(grep 'laid out' "$home/mirvane.err")"
if ls /usr/bin/*.ini /usr/bin/*.db 2>/dev/null | grep -q .; then fail "something was written beside the program"; fi

# Registered for all users and unregistered: the package's own files stay as they are.
/usr/bin/mirvane -REGSERVER >/dev/null
grep -qx 'Name=Mirvane.Kalvex' "$service" || fail "-REGSERVER wrote no activation"
/usr/bin/mirvane -UNREGSERVER
[ ! -e "$service" ] || fail "-UNREGSERVER left the activation"
verify=$(dpkg -V mirvane)
[ -z "$verify" ] || fail "dpkg -V after -REGSERVER and -UNREGSERVER: $verify"

# Registered and then purged: the activation goes with the package, and nothing else stays.
/usr/bin/mirvane -REGSERVER >/dev/null
dpkg-deb --fsys-tarfile "$deb" | tar -t | sed 's|^\./|/|' | grep -v '/$' >"$work/files"
dpkg --purge mirvane >/dev/null
[ ! -e "$service" ] || fail "the activation outlived the package"
while read -r f; do
  [ ! -e "$f" ] || fail "left behind: $f"
done <"$work/files"
for d in /usr/share/mirvane /usr/share/doc/mirvane; do [ ! -e "$d" ] || fail "left behind: $d"; done
echo "built, checked, installed, used, registered and purged cleanly"
