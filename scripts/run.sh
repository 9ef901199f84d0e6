#!/bin/sh
# Builds the program and the sample game, then starts the game in the sample game's folder.
set -e
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j "$(nproc)"
GAME_DIR=build/release/game
if [ -x build/release/tools/make_sample_game ] || [ -x build/release/make_sample_game ]; then
    cmake --build build/release --target sample_game
fi
mkdir -p "$GAME_DIR"
cd "$GAME_DIR"
exec ../velkora "$@"
