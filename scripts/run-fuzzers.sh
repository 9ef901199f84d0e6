#!/bin/sh
# Runs every fuzz target in build folder $1 for $2 seconds on a corpus of valid files.
# Seed corpora come from fuzz/corpus/<name> (made by the writers in tools/ when the build
# generated them into <build>/fuzz/corpus/<name>).
set -e
BUILD=$1
SECONDS_EACH=${2:-20}
found=0
for target in "$BUILD"/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    found=1
    name=$(basename "$target" | sed 's/^fuzz_//')
    work="$BUILD/fuzz/work/$name"
    mkdir -p "$work"
    seeds=""
    for dir in "fuzz/corpus/$name" "$BUILD/fuzz/corpus/$name"; do
        [ -d "$dir" ] && seeds="$seeds $dir"
    done
    echo "fuzzing $name for ${SECONDS_EACH}s"
    "$target" -max_total_time="$SECONDS_EACH" -rss_limit_mb=2048 -timeout=10 \
        -artifact_prefix="$work/" "$work" $seeds 2>"$work/log.txt" || {
        tail -50 "$work/log.txt"
        echo "fuzz target $name failed"
        exit 1
    }
done
[ "$found" = 1 ] || echo "no fuzz targets built"
