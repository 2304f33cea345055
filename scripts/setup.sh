#!/bin/sh
# Installs the Debian 12 packages that building, running and testing need.
# Does nothing when they are all present; installs through sudo when not root.
set -e
packages="cmake ninja-build g++ qt6-base-dev qt6-serialport-dev qt6-charts-dev libqt6opengl6-dev libgl-dev libgtest-dev libgmock-dev
libbenchmark-dev unrtf socat liblua5.4-dev fonts-dejavu-core clang-14 libclang-rt-14-dev iproute2
qt6-translations-l10n libpcre2-dev pkgconf util-linux mount clang-format-14"
# A network serial server (RFC 2217) for the network serial port's tests.
packages="$packages ser2net"
# A real Modbus client for the device simulation's test.
packages="$packages python3-pymodbus python3-serial python3-serial-asyncio"
# Installing: desktop entry and metainfo checks, the Debian package, the run check.
packages="$packages desktop-file-utils appstream dpkg-dev file inotify-tools"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo env DEBIAN_FRONTEND=noninteractive apt-get update -q
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
