#!/bin/sh
# Installs the Debian packages that the project needs, in two groups:
#   install-deps.sh run    what building the program and the sample game and playing need
#   install-deps.sh test   the above and the test tool chain (clang for the fuzz targets,
#                          GoogleTest, Benchmark, Xvfb and the tools of the end-to-end tests)
#   install-deps.sh list run|test   prints the group's packages and installs nothing
# Does nothing when every package of the group is already installed.
set -e
RUN_PACKAGES="
build-essential cmake pkg-config
libsdl2-dev
libogg-dev libvorbis-dev
libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev
libfreetype-dev libfontconfig-dev
libpng-dev libjpeg-dev zlib1g-dev
fonts-ipafont-gothic fonts-ipafont-mincho
zenity
ffmpeg
"
TEST_PACKAGES="
git
clang libclang-rt-dev
libgtest-dev libgmock-dev googletest libbenchmark-dev
xvfb xauth xdotool imagemagick python3
"

packages_of() {
    case "$1" in
        run) echo $RUN_PACKAGES ;;
        test) echo $RUN_PACKAGES $TEST_PACKAGES ;;
        *) echo "usage: $0 [list] run|test" >&2; exit 2 ;;
    esac
}

if [ "${1:-}" = list ]; then
    packages_of "${2:-}" | tr ' ' '\n'
    exit 0
fi
PACKAGES=$(packages_of "${1:-}")

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
