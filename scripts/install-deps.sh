#!/usr/bin/env bash
# Installs, with apt-get, exactly the Debian packages the build, the tests and the demo need.
# Run it as root or with sudo available. Does nothing when everything is there already: the names are
# real packages (dpkg knows no virtual ones), so a set-up machine makes no apt-get call and needs no network.
# The charts library's CMake files ask for the OpenGL widgets, which its package only recommends.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ pkg-config lld
  qt6-base-dev qt6-serialport-dev libqt6sql6-sqlite qt6-charts-dev libqt6opengl6-dev
  # The server database: Qt's driver, and the server the tests start a throwaway cluster of.
  libqt6sql6-psql postgresql-15 postgresql-common
  qt6-multimedia-dev
  qt6-translations-l10n
  libgtest-dev
  libxlsxwriter-dev zlib1g-dev
  xvfb xauth
  # Only for the package tests: CPack's shared-library scan (dpkg-shlibdeps), the Debian package checker,
  # and the validators of the desktop entries and the metainfo.
  dpkg-dev lintian desktop-file-utils appstream
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
