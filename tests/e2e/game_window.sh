#!/bin/sh
# Plays the main road of the sample game with the built program in a real window under Xvfb:
# the maker logo, the title, a new game, pages advanced with Return, the right-click menu and a
# quick save, driven with xdotool. Screenshots taken at fixed points are compared with the
# reference images in tests/data/e2e/game_window (a small per-pixel tolerance; on a mismatch the
# new image and a difference image are kept in <build>/e2e/game_window). A second copy started
# meanwhile must leave at once and leave the first one running. Closing the window must end the
# program, which writes System.sys and GameData.sys. Both choice bars of the choice page show text,
# also right after a quick save and quick load on that page. Started where the maker logo is
# missing, the program must say so and end with a failure status.
#
# Usage: game_window.sh <build folder>. UPDATE_REFERENCES=1 writes the reference images instead
# of comparing. Exit 77 when Xvfb is missing.
set -u

E2E_NAME=game_window
. "$(dirname "$0")/lib/xvfb.sh"
HERE=$(cd "$(dirname "$0")" && pwd)
REFERENCES="$HERE/../data/e2e/game_window"
ARTIFACTS="$BUILD/e2e/game_window"
. "$HERE/lib/window.sh"

# Both choice bars of Main's last page (x 129-671, y 130-177 and 203-250) show text: bright pixels
# in each bar's text area, where the bar's own picture has none.
expect_choice_text() {
    screenshot "$WORK/$1.png"
    for top in 130 203; do
        lit=$(convert "$WORK/$1.png" -crop "460x34+167+$((top + 12))" +repage -colorspace gray \
            -threshold 85% -format '%[fx:round(mean*w*h)]' info:) || fail "cannot measure $1"
        if [ "$lit" -lt 60 ]; then
            mkdir -p "$ARTIFACTS"
            cp "$WORK/$1.png" "$ARTIFACTS/$1.new.png"
            fail "$1: the choice bar at y $top shows no text ($lit bright pixels); see $ARTIFACTS/$1.new.png"
        fi
    done
    echo "game_window: $1 shows text on both choice bars"
}

# The pointer over the second bar picks it: its text turns magenta on the dark bar and the first
# bar's text stays white. Magenta text pixels counted in each bar's text area.
expect_picked_second_bar() {
    xdotool mousemove $((LEFT + 400)) $((TOP + 226))
    sleep 1
    screenshot "$WORK/picked.png"
    mkdir -p "$ARTIFACTS"
    cp "$WORK/picked.png" "$ARTIFACTS/picked.png"
    for top in 130 203; do
        magenta=$(convert "$WORK/picked.png" -crop "460x34+167+$((top + 12))" +repage \
            -fx 'r > 0.7 && g < 0.3 && b > 0.7' -format '%[fx:round(mean*w*h)]' info:) || fail "cannot measure the bars"
        if [ "$top" = 203 ] && [ "$magenta" -lt 60 ]; then
            fail "the picked bar shows no magenta text ($magenta pixels); see $ARTIFACTS/picked.png"
        fi
        if [ "$top" = 130 ] && [ "$magenta" -ne 0 ]; then
            fail "the bar not picked shows magenta ($magenta pixels); see $ARTIFACTS/picked.png"
        fi
    done
    echo "game_window: the picked bar shows its text in magenta"
    xdotool mousemove $((LEFT + 100)) $((TOP + 60))
}

inside() {
    export XDG_DATA_HOME="$WORK/home" XDG_RUNTIME_DIR="$WORK/home" VELKORA_NO_MESSAGE_WINDOWS=1
    mkdir -p "$XDG_DATA_HOME"
    SAVE="$XDG_DATA_HOME/Save/Velkora"
    # SDL unloads the X11 libraries it opened before the leak check runs; the unit tests check ours.
    export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
    # Without its maker logo the program shows why and ends with a failure status.
    mkdir -p "$WORK/empty"
    (cd "$WORK/empty" && "$PROGRAM" >"$WORK/empty.txt" 2>&1)
    [ $? -ne 0 ] || fail "a folder without the maker logo ended with status 0"
    grep -q 'System/Maker/Maker.bmp' "$WORK/empty.txt" || fail "no file-open message for the missing logo"

    cd "$GAME" || fail "no sample game in $GAME"
    open_game_window
    xdotool mousemove $((LEFT + 100)) $((TOP + 500))

    # The logo holds from 1.5 s to 4.5 s.
    sleep 3
    check logo
    click_at 100 500
    sleep 3
    SECOND_REFERENCE=1 check title

    # The flag-report request from outside: only an information box outside the adventure.
    kill -USR1 "$pid"
    sleep 0.5
    [ "$(grep -c '^\[Information\]' "$WORK/err.txt")" -eq 1 ] || fail "no information box for SIGUSR1 on the title"

    # A second copy asks the first to come to the front and leaves at once.
    "$PROGRAM" >"$WORK/second.txt" 2>&1 &
    second=$!
    wait_for_exit "$second" 50 || fail "the second copy is still running"
    wait "$second" || fail "the second copy ended with status $?"
    kill -0 "$pid" 2>/dev/null || fail "the first copy ended when the second started"

    # New game: the title fades to black, then the first page; Return completes it.
    # The click-wait cursor animates and the voice-replay button follows the voice: both are
    # left out of the comparison.
    animated="21x28+673+538 61x20+625+575"
    click_at 680 269
    sleep 2.5
    key Return 1
    check page1 $animated
    key Return 0.5
    key Return 1
    check page2 $animated
    key Return 0.5
    key Return 1.5
    check page3 $animated

    # The flag report: with windows suppressed there is no file chooser, so the report goes
    # into the save folder and an information box says where.
    kill -USR1 "$pid"
    sleep 0.5
    [ "$(grep -c '^\[Information\]' "$WORK/err.txt")" -eq 2 ] || fail "no information box for the flag report"
    ls "$SAVE"/FlagReport-*.txt >/dev/null 2>&1 || fail "SIGUSR1 in the adventure wrote no flag report"

    # The right-click menu opens over the page and closes again.
    click_at 400 300 3
    sleep 1
    check menu $animated
    click_at 400 300 3
    sleep 1

    # Quick save from the button bar.
    click_at 750 536
    sleep 1
    [ -s "$SAVE/Q-Save.sav" ] || fail "the quick save was not written"

    # On to the choice page (Ctrl skips; page 6 locks input for 2 s, page 8 advances by itself).
    # Each bar carries its text: bright text pixels inside its text rectangle.
    xdotool mousemove $((LEFT + 100)) $((TOP + 60))
    xdotool keydown Control_L
    sleep 6
    xdotool keyup Control_L
    sleep 3
    expect_choice_text choice
    expect_picked_second_bar
    # Quick save and quick load on the choice page: no old voice comes back to hold the bars.
    click_at 750 536
    sleep 1
    click_at 750 559
    xdotool mousemove $((LEFT + 100)) $((TOP + 60))
    sleep 3
    expect_choice_text choice-loaded

    close_and_expect_success
    # 1,275 bytes and the font face "ＭＳ ゴシック" with its zero byte.
    [ "$(wc -c <"$SAVE/System.sys")" -eq 1289 ] || fail "System.sys was not written whole"
    [ -s "$SAVE/GameData.sys" ] || fail "GameData.sys was not written"
    echo "game_window: logo, title, pages, menu, quick save, second copy and closing all as expected"
}

if [ "$INSIDE" = 1 ]; then
    inside
    exit 0
fi

play_game_under_xvfb "$0" xdotool import convert compare python3
