#!/bin/sh
# Plays the sample game's model scene with tools/model_scene (models on, a headless device, the
# fake clock) and compares seven frames of its two pages (at 1960 ms the eyes are half shut in a
# blink) pixel for pixel with the pictures in tests/data/model_scene: drawn by the reference
# rasteriser and by each span path the processor has, which compute the same pixels. Then the
# model swatches (Script/ModelSwatches.vsf, pictures in tests/data/model_scene/swatches): a part
# of alpha 0.5 and a multiplying surface over a flat ground, whose pixels are also worked out
# here from the colours, for the layer shown and half way through its fade.
# UPDATE_GOLDEN=1 first rewrites the pictures with the reference rasteriser (look at them before
# committing).
# Usage: model_scene.sh <build folder>.
set -u

BUILD=$(cd "${1:?usage: model_scene.sh <build folder>}" && pwd)
TOOL="$BUILD/tools/model_scene"
GOLDEN="$(cd "$(dirname "$0")/../data" && pwd)/model_scene"
FRAMES=0,1000,1960,2500,4000,5800,7000
SWATCH_FRAMES=500,1200

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
if ! command -v convert >/dev/null 2>&1; then
    echo "model_scene: skipped, convert is not installed (scripts/install-deps.sh test installs it)"
    exit 77
fi

# Page 1 animates for about five seconds; the click at 5200 ms turns to page 2.
play() { "$TOOL" --game "$BUILD/game" --script Script/ModelScene.vsf --frames "$FRAMES" --clicks 5200 "$@"; }
# The swatch layer fades in over the first second.
swatches() { "$TOOL" --game "$BUILD/game" --script Script/ModelSwatches.vsf --frames "$SWATCH_FRAMES" "$@"; }

if [ -n "${UPDATE_GOLDEN:-}" ]; then
    mkdir -p "$GOLDEN/swatches"
    play --raster reference --out "$GOLDEN" || fail "cannot write the pictures"
    swatches --raster reference --out "$GOLDEN/swatches" || fail "cannot write the swatch pictures"
fi
# The three paths play side by side (a sanitiser build takes minutes for each).
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
for path in reference sse2 avx2; do
    (play --raster "$path" --compare "$GOLDEN" >"$WORK/$path.txt" 2>&1 &&
        swatches --raster "$path" --compare "$GOLDEN/swatches" >>"$WORK/$path.txt" 2>&1
    echo $? >"$WORK/$path.status") &
done
wait
for path in reference sse2 avx2; do
    if [ "$(cat "$WORK/$path.status")" != 0 ]; then
        if [ "$path" = avx2 ] && grep -q "no AVX2" "$WORK/$path.txt"; then continue; fi
        fail "$path: $(cat "$WORK/$path.txt")"
    fi
    echo "$path: $(grep -c ': 0 pixels differ' "$WORK/$path.txt") frames equal"
done

# The swatches by hand, channel by channel (0-255): the ground g = 0x336699 = (51, 102, 153);
# the normal quad c = (255, 204, 51) at alpha 0.5 shows c / 2 + g / 2 = (153, 153, 102); the
# multiplying quad m = (153, 204, 102) shows g × m / 255 = (30.6, 81.6, 61.2); the layer's fade
# in of 1000 ms at 500 ms has the alpha trunc(255 × 0.5) = 127 and shows g + (shown − g) ×
# 127 / 255. Each pixel must lie within 1 of these in every channel (the 8-bit steps round).
expected() {  # normal | multiply, the layer's alpha (0-255)
    awk -v kind="$1" -v f="$2" 'BEGIN {
        split("51 102 153", g); split("255 204 51", c); split("153 204 102", m)
        for (i = 1; i <= 3; i++) {
            shown = kind == "normal" ? c[i] * 0.5 + g[i] * 0.5 : g[i] * m[i] / 255
            printf "%.2f ", g[i] + (shown - g[i]) * f / 255
        }
    }'
}
pixel() {  # file x y: "r g b"
    hex=$(convert "$1" -crop "1x1+$2+$3" -depth 8 txt:- | grep -o '#[0-9A-Fa-f]\{6\}' | head -1)
    [ -n "$hex" ] || return 1
    printf '%d %d %d' "0x$(echo "$hex" | cut -c2-3)" "0x$(echo "$hex" | cut -c4-5)" "0x$(echo "$hex" | cut -c6-7)"
}
check() {  # frame time, x, kind, layer alpha
    got=$(pixel "$WORK/swatches/frame_$1.png" "$2" 300) || fail "cannot read frame $1"
    want=$(expected "$3" "$4")
    echo "$got $want" | awk '{ for (i = 1; i <= 3; i++) if ($i - $(i + 3) > 1 || $(i + 3) - $i > 1) exit 1 }' ||
        fail "the $3 swatch at $1 ms is ($got), worked out as ($want)"
    echo "swatches: $3 at $1 ms ($got) as worked out ($want)"
}
mkdir -p "$WORK/swatches"
swatches --raster reference --out "$WORK/swatches" >/dev/null || fail "cannot write the swatch frames"
check 1200 218 normal 255
check 1200 582 multiply 255
check 500 218 normal 127
check 500 582 multiply 127
