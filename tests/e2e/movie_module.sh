#!/bin/sh
# The movie decoder is a module that the real program loads beside itself when the first movie
# opens: on the title and the first story page no FFmpeg library is mapped into the process, and
# once the market route's movie plays they are. Then the same program copied into a folder of
# its own, without the module: the market movie fails as an undecodable file does (the
# playback-failure message, with one line on stderr naming the module and why it could not be
# loaded), the story goes on to the lighthouse, whose story movie fails the same way without a
# second attempt at loading, and the program keeps running.
#
# Usage: movie_module.sh <build folder>. Exit 77 when Xvfb is missing.
set -u

E2E_NAME=movie_module
. "$(dirname "$0")/lib/xvfb.sh"
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/lib/window.sh"

# Holds Ctrl (the fast skip) for $1 seconds.
fast_skip() {
    xdotool keydown Control_L
    sleep "$1"
    xdotool keyup Control_L
}

# The FFmpeg libraries and our module mapped into the program now (file names, one a line).
movie_libraries() {
    awk '{ print $6 }' "/proc/$pid/maps" | grep -E '/(libav[a-z]*|libsw[a-z]*|velkora_movies)[.]so' | sort -u
}

# From the first page of a new game to the market route's movie, as tests/e2e/movies.sh goes.
to_first_page() {
    xdotool mousemove $((LEFT + 5)) $((TOP + 5))
    sleep 2
    click_at 100 500   # the logo
    sleep 3
    click_at 680 269   # new game
    sleep 2.5
}
to_market_movie() {
    fast_skip 8        # to the choice of the first script
    click_at 400 227   # the market
    sleep 1
    fast_skip 3        # through the market to its movie
    sleep 0.5
}

inside() {
    export XDG_DATA_HOME="$WORK/home" XDG_RUNTIME_DIR="$WORK/home" VELKORA_NO_MESSAGE_WINDOWS=1
    mkdir -p "$XDG_DATA_HOME"
    export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
    cd "$GAME" || fail "no sample game in $GAME"

    open_game_window
    [ -z "$(movie_libraries)" ] || fail "movie libraries mapped at start: $(movie_libraries | tr '\n' ' ')"
    to_first_page
    [ -z "$(movie_libraries)" ] || fail "movie libraries mapped on the first page: $(movie_libraries | tr '\n' ' ')"
    to_market_movie
    loaded=$(movie_libraries)
    echo "$loaded" | grep -qx "$(cd "$BUILD" && pwd -P)/velkora_movies.so" ||
        fail "the module beside the program is not loaded: $loaded"
    echo "$loaded" | grep -q '/libavcodec[.]so' || fail "FFmpeg is not loaded during the movie: $loaded"
    close_and_expect_success
    echo "movie_module: nothing of FFmpeg before the first movie, the module and FFmpeg once it plays"

    # The program without its module.
    mkdir -p "$WORK/alone" "$WORK/home2"
    cp "$PROGRAM" "$WORK/alone/velkora"
    PROGRAM="$WORK/alone/velkora"
    export XDG_DATA_HOME="$WORK/home2" XDG_RUNTIME_DIR="$WORK/home2"
    open_game_window
    to_first_page
    to_market_movie
    sleep 6            # the failed movie counts as ended: the lighthouse follows
    fast_skip 6        # to the page that asks for the story movie
    sleep 1
    kill -0 "$pid" 2>/dev/null || fail "the program ended after the failed movies"
    grep -q 'ムービーの再生に失敗しました' "$WORK/err.txt" || fail "no playback-failure message for the market movie"
    grep -q 'ファイルのオープンに失敗しました.*Story01' "$WORK/err.txt" ||
        fail "the story did not go on to the lighthouse's story movie, or its failure was not said"
    said=$(grep -c '^cannot load the movie decoder' "$WORK/err.txt")
    [ "$said" -eq 1 ] || fail "the failed load was said $said times"
    grep -q "^cannot load the movie decoder \"$WORK/alone/velkora_movies.so\": .*No such file" "$WORK/err.txt" ||
        fail "the reason does not name the missing module"
    [ -z "$(movie_libraries)" ] || fail "movie libraries mapped without the module: $(movie_libraries | tr '\n' ' ')"
    close_and_expect_success
    echo "movie_module: without the module both movies fail, the load said once, and the story goes on"
}

if [ "$INSIDE" = 1 ]; then
    inside
    exit 0
fi

play_game_under_xvfb "$0" xdotool python3
