#!/bin/sh
# Line coverage of each layer's sources by the unit tests (gcc --coverage, gcov).
#   scripts/coverage.sh [BUILD_DIR] [LABEL]   (LABEL: run only the tests of that CTest label)
# Prints one line per source file and a total per layer, so that a change to the tests can be
# checked for lost coverage by comparing two runs.
set -e
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD=${1:-build/coverage}
LABEL=${2:-}
JOBS=${JOBS:-4}

cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_FLAGS=--coverage -DCMAKE_C_FLAGS=--coverage \
    -DCMAKE_EXE_LINKER_FLAGS=--coverage >/dev/null
cmake --build "$BUILD" -j "$JOBS" --target tests >/dev/null
find "$BUILD" -name "*.gcda" -delete
(cd "$BUILD" && ctest -j "$JOBS" -LE e2e ${LABEL:+-L "$LABEL"} --timeout 600 >/dev/null) || true

for layer in platform files text engine scene model sound screens app; do
    objdir="$BUILD/$layer/CMakeFiles/$layer.dir"
    [ -d "$objdir" ] || continue
    for src in "$layer"/*.cpp "$layer"/*.c; do
        [ -f "$src" ] || continue
        gcda="$objdir/$(basename "$src").gcda"
        if [ -f "$gcda" ]; then
            (cd "$BUILD" && gcov -n "$ROOT/$gcda" 2>/dev/null) |
                awk -v f="$ROOT/$src" '
                    /^File / { here = (index($0, f) > 0) }
                    here && /^Lines executed:/ {
                        split($0, a, /[:% ]+/); printf "%d %d\n", a[3] * a[5] / 100 + 0.5, a[5]; found = 1; exit }
                    END { if (!found) print "0 0" }'
        else
            printf "0 %d\n" "$(grep -c . "$src")"
        fi | awk -v s="$src" '{ printf "%-44s %5d / %5d\n", s, $1, $2 }'
    done
done | awk '
    { split($1, p, "/"); hit[p[1]] += $2; all[p[1]] += $4; print }
    END { for (l in all) printf "TOTAL %-38s %5d / %5d  %.1f%%\n", l, hit[l], all[l], 100 * hit[l] / all[l] }'
