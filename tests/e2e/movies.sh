#!/bin/sh
# Plays the sample game's movies with the built program in a real window under Xvfb, driven with
# xdotool: the market route's movie (it cannot be skipped and leads to the lighthouse), the
# lighthouse's story movie whose left lever leads to the good end, the good end's movie skipped
# with a click, then the movie gallery from the extra menu: its list, one of its movies and the
# list again. A screenshot taken during a movie must match one of the movie's own frames
# (extracted with the ffmpeg tool); the gallery's list is compared with the reference images in
# tests/data/e2e/movies.
#
# The screenshots taken during movies are kept in <build>/e2e/movies.
#
# Usage: movies.sh <build folder>. UPDATE_REFERENCES=1 writes the reference images instead of
# comparing. Exit 77 when Xvfb is missing.
set -u

E2E_NAME=movies
. "$(dirname "$0")/lib/xvfb.sh"
HERE=$(cd "$(dirname "$0")" && pwd)
REFERENCES="$HERE/../data/e2e/movies"
ARTIFACTS="$BUILD/e2e/movies"
. "$HERE/lib/window.sh"

# The frames of a movie, reduced to 200 × 150 (the comparisons are many), in $WORK/frames/<movie>/.
extract_frames() {
    mkdir -p "$WORK/frames/$1"
    ffmpeg -nostdin -loglevel error -i "$GAME/Movie/$1.mpg" -s 200x150 "$WORK/frames/$1/%03d.png" ||
        fail "cannot extract the frames of $1"
}

# A screenshot named $1, taken now and checked later (the checks take longer than a movie); it
# is kept in $ARTIFACTS for a look.
snap() {
    screenshot "$WORK/$1.png"
    convert "$WORK/$1.png" -resize 200x150! "$WORK/$1.small.png" || fail "cannot reduce $1"
    mkdir -p "$ARTIFACTS"
    cp "$WORK/$1.png" "$ARTIFACTS/$1.png"
}

# The fewest pixels by which the reduced screenshot $1 differs from a frame of movie $2.
closest_frame() {
    best=999999
    for frame in "$WORK/frames/$2"/*.png; do
        differing=$(compare -metric AE -fuzz 8% "$WORK/$1.small.png" "$frame" null: 2>&1)
        case "$differing" in *[!0-9]*|"") continue ;; esac
        [ "$differing" -lt "$best" ] && best=$differing
    done
    echo "$best"
}

# Requires the screenshot $1 to show a frame of movie $2 (at most 2% of the pixels beyond the
# tolerance), or, with a third argument "not", to show none.
expect_movie() {
    differing=$(closest_frame "$1" "$2")
    if [ "${3:-}" = not ]; then
        [ "$differing" -gt 600 ] || fail "$1: the screenshot still shows $2 ($differing of 30000 pixels differ)"
        echo "movies: $1 shows no frame of $2"
        return 0
    fi
    if [ "$differing" -gt 600 ]; then
        mkdir -p "$ARTIFACTS"
        cp "$WORK/$1.png" "$ARTIFACTS/$1.new.png"
        fail "$1: no frame of $2 within 600 of 30000 pixels (closest: $differing); see $ARTIFACTS/$1.new.png"
    fi
    echo "movies: $1 shows a frame of $2 ($differing of 30000 pixels beyond the tolerance)"
}

# Holds Ctrl (the fast skip) for $1 seconds.
fast_skip() {
    xdotool keydown Control_L
    sleep "$1"
    xdotool keyup Control_L
}

inside() {
    export XDG_DATA_HOME="$WORK/home" XDG_RUNTIME_DIR="$WORK/home" VELKORA_NO_MESSAGE_WINDOWS=1
    mkdir -p "$XDG_DATA_HOME"
    export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
    for movie in Dusk Story01 Ending Dawn; do extract_frames "$movie"; done

    cd "$GAME" || fail "no sample game in $GAME"
    open_game_window
    xdotool mousemove $((LEFT + 5)) $((TOP + 5))
    sleep 2
    click_at 100 500   # the logo
    sleep 3
    click_at 680 269   # new game
    sleep 2.5
    fast_skip 8        # to the choice of the first script (its lock and its timed page included)
    click_at 400 227   # the market
    sleep 1
    fast_skip 3        # through the market to its movie, which Ctrl cannot hurry
    sleep 0.5
    snap dusk
    click_at 400 300   # the movie cannot be skipped
    sleep 0.3
    snap dusk_after_click
    sleep 6            # its end loads the lighthouse
    fast_skip 6        # to the page that asks for the story movie
    sleep 1
    snap lever_choice
    click_at 210 300   # the left lever: with the market's gear, the good end
    sleep 1
    fast_skip 3        # to the good end's movie
    sleep 1.5
    snap ending
    click_at 400 300   # skipped
    sleep 1
    snap after_ending
    fast_skip 4        # to the end of the story, back to the title
    sleep 4

    click_at 680 469   # the extra menu, enabled by the ending
    sleep 1
    click_at 347 286   # the movie gallery
    sleep 2
    click_at 5 5       # ends the fade-in
    sleep 1
    check gallery_list
    click_at 536 222   # entry 8: the dawn shore, three seconds
    sleep 1.5
    snap gallery_movie
    sleep 3
    check gallery_list_again
    click_at 200 564   # the second page: two more movies, the second of them locked
    sleep 0.5
    check gallery_page2
    click_at 700 560   # back to the title
    sleep 1.5

    close_and_expect_success

    expect_movie dusk Dusk
    expect_movie dusk_after_click Dusk
    expect_movie lever_choice Story01
    expect_movie ending Ending
    expect_movie after_ending Ending not
    expect_movie gallery_movie Dawn
    echo "movies: the story's movies, the story movie's lever and the movie gallery all as expected"
}

if [ "$INSIDE" = 1 ]; then
    inside
    exit 0
fi

play_game_under_xvfb "$0" xdotool import convert compare ffmpeg python3
