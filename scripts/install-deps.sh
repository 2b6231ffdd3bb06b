#!/bin/sh
# Installs the Debian packages QUORVIN needs; quiet when all are present.
#   install-deps.sh program   what building and running the program needs
#   install-deps.sh           that, and what the tests, the benchmarks, the
#                             fuzz targets and the package need
set -e
# Qt's xcb platform comes with qt6-base-dev; the fonts are those the
# layouts are made for.
PROGRAM="build-essential cmake qt6-base-dev qt6-svg-dev libsimpleini-dev libxxhash-dev fonts-liberation2 fonts-dejavu-core"
TESTS="clang-format qt6-base-private-dev libgtest-dev libgmock-dev libbenchmark-dev xvfb openbox at-spi2-core xdotool xclip x11-utils dbus-daemon libxdamage-dev pwgen clang libclang-rt-14-dev desktop-file-utils appstream dpkg-dev file"
case "${1:-all}" in
program) PKGS=$PROGRAM ;;
all) PKGS="$PROGRAM $TESTS" ;;
*)
    echo "usage: $0 [program]" >&2
    exit 2
    ;;
esac
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
