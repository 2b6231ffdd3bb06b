#!/bin/sh
# Installs the Debian packages the build and the tests need; quiet when all are present.
set -e
PKGS="build-essential cmake clang-format qt6-base-dev qt6-base-private-dev libgtest-dev libgmock-dev libbenchmark-dev fonts-dejavu-core libsimpleini-dev qt6-svg-dev fonts-liberation2 xvfb openbox xdotool xclip x11-utils dbus-daemon libxdamage-dev pwgen clang libclang-rt-14-dev desktop-file-utils appstream dpkg-dev file"
missing=""
for p in $PKGS; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "Installing:$missing"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
