#!/bin/sh
# Runs every fuzz target in build folder $1 for $2 seconds each, $3 targets at a time, on the
# seed corpus in fuzz/corpus/<name>. A crash, leak or timeout fails the run and prints its log.
# (Called with --one <target> <seconds> it runs a single target.)
set -e

if [ "$1" = "--one" ]; then
    target=$2
    name=$(basename "$target" | sed 's/^fuzz_//')
    work="$(dirname "$target")/work/$name"
    mkdir -p "$work"
    seeds=""
    [ -d "fuzz/corpus/$name" ] && seeds="fuzz/corpus/$name"
    if "$target" -max_total_time="$3" -rss_limit_mb=2048 -timeout=10 \
        -artifact_prefix="$work/" "$work" $seeds >"$work/log.txt" 2>&1; then
        echo "fuzzed $name for $3 s: no finding"
        exit 0
    fi
    tail -50 "$work/log.txt"
    echo "fuzz target $name failed"
    exit 1
fi

BUILD=$1
SECONDS_EACH=${2:-20}
PARALLEL=${3:-4}
targets=$(find "$BUILD/fuzz" -maxdepth 1 -name 'fuzz_*' -type f -perm -u+x | sort)
if [ -z "$targets" ]; then
    echo "no fuzz targets built"
    exit 0
fi
printf '%s\n' $targets | xargs -P "$PARALLEL" -I{} "$0" --one {} "$SECONDS_EACH"
