#!/bin/sh
# Builds the program and the sample game, then starts the game in the sample game's folder.
set -e
cd "$(dirname "$0")/.."
./scripts/install-deps.sh run
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DTESTS=OFF >/dev/null
cmake --build build/release -j "$(nproc)" --target velkora sample_game
cd build/release/game
exec ../velkora "$@"
