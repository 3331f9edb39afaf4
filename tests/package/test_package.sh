#!/usr/bin/env bash
# The Debian package on this machine: install it, use the installed program, remove it.
# Usage: test_package.sh BUILD_DIR. Exits 77 (skipped) where it cannot install packages.
set -euo pipefail
build="$1"

if [ "$(id -u)" -ne 0 ]; then
  echo "SKIP: installing a package needs root"; exit 77
fi
if dpkg-query -W -f='${Status}' mirvane 2>/dev/null | grep -q 'install ok installed'; then
  echo "SKIP: a mirvane package is installed here already; not touching it"; exit 77
fi

work=$(mktemp -d)
cleanup() {
  dpkg -r mirvane >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

(cd "$build" && cpack -G DEB -B "$work/pkg" >/dev/null)
deb=$(ls "$work"/pkg/mirvane_*_amd64.deb)
echo "package: $(basename "$deb")"

dpkg -i "$deb" >/dev/null
test -x /usr/bin/mirvane
test -x /usr/bin/mirvane-stand-sim
test -f /usr/share/applications/mirvane.desktop
test -f /usr/share/icons/hicolor/scalable/apps/mirvane.svg
test -f /usr/share/dbus-1/interfaces/Mirvane.IKalvex.xml

version=$(/usr/bin/mirvane --version)
echo "installed: $version"
[ "$version" = "mirvane $(dpkg-deb -f "$deb" Version)" ]

/usr/bin/mirvane --init-station "$work/st"
for f in mirvane.ini Profile.dat Titles.txt Mirvane.db; do test -f "$work/st/$f"; done

QT_QPA_PLATFORM=offscreen timeout 60 /usr/bin/mirvane --station-dir "$work/st" \
  --screenshot "$work/st/shot.png" --screenshot-after 1500
file "$work/st/shot.png" | grep -q 'PNG image data'

dpkg -r mirvane >/dev/null
for f in /usr/bin/mirvane /usr/bin/mirvane-stand-sim /usr/share/mirvane /usr/share/applications/mirvane.desktop \
         /usr/share/dbus-1/interfaces/Mirvane.IKalvex.xml; do
  if [ -e "$f" ]; then echo "left behind: $f"; exit 1; fi
done
echo "installed, used and removed cleanly"
