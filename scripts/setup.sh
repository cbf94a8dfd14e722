#!/bin/sh
# Installs every Debian package the project needs to build, test and run.
# Idempotent; run as root on Debian 12.
set -eu
export DEBIAN_FRONTEND=noninteractive
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
PKGS="build-essential cmake ninja-build ccache pkg-config \
  qt6-base-dev qt6-base-dev-tools qt6-5compat-dev libqt6opengl6-dev \
  libbz2-dev libgsf-1-dev libglib2.0-dev libzip-dev libbenchmark-dev \
  libxlsxwriter-dev qt6-charts-dev \
  qt6-translations-l10n \
  libfontconfig-dev fonts-liberation2 \
  xvfb xauth openbox xdotool imagemagick fonts-dejavu-core libreoffice-writer-nogui libreoffice-calc-nogui poppler-utils \
  clang libclang-rt-14-dev \
  dpkg-dev fakeroot file desktop-file-utils appstream libxml2-utils shared-mime-info \
  xdg-utils libfile-mimeinfo-perl librsvg2-bin"
missing=""
for p in $PKGS; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends $missing
fi
