#!/bin/sh
# Plays the sample game's model scene with tools/model_scene (models on, a headless device, the
# fake clock) and compares seven frames of its two pages (at 1960 ms the eyes are half shut in a
# blink) pixel for pixel with the pictures in tests/data/model_scene: drawn by the reference
# rasteriser and by each span path the processor has, which compute the same pixels.
# UPDATE_GOLDEN=1 first rewrites the pictures with the reference rasteriser (look at them before
# committing).
# Usage: model_scene.sh <build folder>.
set -u

BUILD=$(cd "${1:?usage: model_scene.sh <build folder>}" && pwd)
TOOL="$BUILD/tools/model_scene"
GOLDEN="$(cd "$(dirname "$0")/../data" && pwd)/model_scene"
FRAMES=0,1000,1960,2500,4000,5800,7000

fail() {
    echo "model_scene: $*"
    exit 1
}

[ -x "$TOOL" ] || fail "$TOOL is missing: build the model_scene target"
# Asking for help is no mistake: the usage goes to stdout and the status is 0.
for flag in --help -h; do
    usage=$("$TOOL" "$flag" 2>/dev/null)
    status=$?
    [ "$status" = 0 ] || fail "$flag ends with status $status"
    printf '%s\n' "$usage" | grep -q "^usage: model_scene .*--tick" || fail "$flag prints no usage on stdout"
done
[ -f "$BUILD/game/Script.pac" ] || fail "no sample game in $BUILD/game: build the sample_game target"

# Page 1 animates for about five seconds; the click at 5200 ms turns to page 2.
play() { "$TOOL" --game "$BUILD/game" --script Script/ModelScene.vsf --frames "$FRAMES" --clicks 5200 "$@"; }

if [ -n "${UPDATE_GOLDEN:-}" ]; then
    mkdir -p "$GOLDEN"
    play --raster reference --out "$GOLDEN" || fail "cannot write the pictures"
fi
# The three paths play side by side (a sanitiser build takes minutes for each).
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
for path in reference sse2 avx2; do
    (play --raster "$path" --compare "$GOLDEN" >"$WORK/$path.txt" 2>&1; echo $? >"$WORK/$path.status") &
done
wait
for path in reference sse2 avx2; do
    if [ "$(cat "$WORK/$path.status")" != 0 ]; then
        if [ "$path" = avx2 ] && grep -q "no AVX2" "$WORK/$path.txt"; then continue; fi
        fail "$path: $(cat "$WORK/$path.txt")"
    fi
    echo "$path: $(grep -c ': 0 pixels differ' "$WORK/$path.txt") frames equal"
done
