#!/usr/bin/env bash
# Installs the Debian packages needed to build, run and test ztwizard (Debian 12 or 13, as root).
# dpkg-dev and file let cpack build the Debian package; desktop-file-utils, appstream and lintian
# check it (tests/package). qt6-translations-l10n holds Qt's own texts in Chinese; the tests read
# the embedded server's files with the sqlite3 command and press keys on Xvfb with xdotool, also
# into Weston for the wizard on Wayland (qt6-wayland, which the package recommends). GnuTLS
# (libgnutls28-dev) carries the TLS of the road to SQL Server on both sides; ca-certificates holds
# the authorities that servers' certificates are checked against. systemd's systemd-analyze checks
# the scheduled backups' timer and service as systemd reads them (tests/package).
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6sql6-odbc libqt6sql6-sqlite libgl-dev
  unixodbc unixodbc-dev odbcinst tdsodbc libsqliteodbc libsqlite3-dev sqlite3 libgnutls28-dev
  ca-certificates fonts-wqy-microhei qt6-translations-l10n qt6-wayland xvfb xauth xdotool weston
  dpkg-dev file desktop-file-utils appstream lintian systemd
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps.sh: missing Debian packages: ${missing[*]}" >&2
    echo "install-deps.sh: run as root (sudo) to install them, or install them yourself." >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
