#!/bin/sh
# Installs the system packages the build, the tests and the sample-game tools need.
# Does nothing when every package is already installed.
set -e
PACKAGES="
build-essential cmake pkg-config git
clang libclang-rt-dev
libgtest-dev libgmock-dev googletest libbenchmark-dev
libsdl2-dev
libogg-dev libvorbis-dev
libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev
libfreetype-dev libfontconfig-dev
libpng-dev libjpeg-dev zlib1g-dev
fonts-ipafont-gothic fonts-ipafont-mincho
zenity
xvfb xauth xdotool imagemagick python3
ffmpeg
"
missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y --no-install-recommends $missing
