# Shared by the project's scripts: the Debian packages the station needs to build, run and
# be tested, and installing the missing ones.
# shellcheck shell=bash

MIRVANE_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

MIRVANE_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-serialport-dev libqt6sql6-sqlite libqt6sql6-psql libgl-dev
  postgresql-15 postgresql-client-15 libpq-dev
  libmodbus-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-liberation fonts-dseg
  dbus libglib2.0-bin
  poppler-utils sqlite3 xvfb xauth xdotool
  dpkg-dev file debhelper help2man lintian appstream desktop-file-utils
  qt6-translations-l10n python3-dbus x11-utils
  cups printer-driver-cups-pdf
)

# Installs whatever of the given packages (default: all of the above) is missing. As root it
# runs apt-get; otherwise it prints the one line to run and fails.
mirvane_ensure_packages() {
  local wanted=("$@")
  [ ${#wanted[@]} -gt 0 ] || wanted=("${MIRVANE_PACKAGES[@]}")
  local missing=()
  local p
  for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages. Run as root:" >&2
    echo "  apt-get install -y ${missing[*]}" >&2
    return 1
  fi
  echo "Installing: ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq >&2 || return 1
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
}

# Configures and builds the project in the given directory.
mirvane_build() {
  local dir="$1"; shift
  cmake -S "$MIRVANE_ROOT" -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir"
}
