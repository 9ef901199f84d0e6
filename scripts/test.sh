#!/bin/sh
# Builds everything and runs every test: the unit and end-to-end tests under AddressSanitizer
# and UndefinedBehaviorSanitizer, the unit tests again under ThreadSanitizer (sound threads run
# beneath every layer above sound), and each fuzz target for a bounded time when clang is present.
set -e
cd "$(dirname "$0")/.."
./scripts/install-deps.sh test
JOBS=${JOBS:-$(nproc)}

cmake -S . -B build/asan -DSANITIZE=address -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/asan -j "$JOBS" --target tests velkora bench platform_smoke message_window_demo model_scene
(cd build/asan && ctest --output-on-failure -j "$JOBS" --timeout 600)

cmake -S . -B build/tsan -DSANITIZE=thread -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/tsan -j "$JOBS" --target tests
(cd build/tsan && ctest --output-on-failure -j "$JOBS" -LE e2e --timeout 600)

if command -v clang++ >/dev/null 2>&1; then
    CC=clang CXX=clang++ cmake -S . -B build/fuzz -DFUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build build/fuzz -j "$JOBS"
    ./scripts/run-fuzzers.sh build/fuzz "${FUZZ_SECONDS:-20}" "$(( (JOBS + 1) / 2 ))"
else
    echo "clang++ not found: fuzz targets skipped"
fi
