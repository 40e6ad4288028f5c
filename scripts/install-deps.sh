#!/bin/sh
# Installs the Debian 12 packages needed to build, test and run the manager.
# Does nothing when everything is already there.
set -e
PKGS="build-essential cmake ccache pkg-config
qtbase5-dev qtbase5-dev-tools libqt5opengl5-dev libqt5svg5-dev libqt5charts5-dev
libqglviewer-dev-qt5 libglu1-mesa-dev libgl1-mesa-dri
libmdnsd-dev libldns-dev zlib1g-dev libeigen3-dev
libmosquitto-dev mosquitto mosquitto-clients openssl libsimdjson-dev
xvfb xauth desktop-file-utils
clang libclang-rt-14-dev libbenchmark-dev
iproute2 util-linux python3 python3-zeroconf poppler-utils"
missing=""
for p in $PKGS; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -q
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
