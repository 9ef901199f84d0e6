#!/bin/sh
# Opens the real window under Xvfb with tools/platform_smoke, clicks and types into it with
# xdotool, takes a screenshot and checks the colours of the drawn quads and the input that the
# program reported. Usage: platform_smoke.sh <build folder>. Exit 77 when Xvfb or xdotool is
# missing.
set -u

E2E_NAME=platform_smoke
. "$(dirname "$0")/lib/xvfb.sh"
SMOKE="$BUILD/tools/platform_smoke"

pixel() {
    convert "$WORK/shot.png" -crop "1x1+$1+$2" -depth 8 txt:- | grep -o '#[0-9A-Fa-f]\{6\}' | head -1
}

inside() {
    # SDL unloads the X11 and D-Bus libraries it opened before the leak check runs, so their
    # own allocations show as leaks of unknown modules; the unit tests check ours.
    ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" "$SMOKE" 30 >"$WORK/out.txt" 2>"$WORK/err.txt" &
    pid=$!
    trap 'kill "$pid" 2>/dev/null' EXIT
    wait_for_line ready 300 || fail "the program did not show its first frame"

    wid=$(xdotool search --name '^Velkora' | head -1)
    [ -n "$wid" ] || fail "no window titled Velkora"
    title=$(xdotool getwindowname "$wid")
    [ "$title" = "Velkora ～Sarnith～ smoke" ] || fail "window title is '$title'"
    xdotool windowfocus --sync "$wid"

    set -- $(grep '^window ' "$WORK/out.txt")
    [ "$#" -eq 5 ] || fail "no window position reported"
    left=$2
    top=$3
    [ "$4 $5" = "800 600" ] || fail "client area is $4×$5"

    xdotool mousemove $((left + 200)) $((top + 175))
    wait_for_line "mouse 200 175" 100 || fail "mouse move not reported"
    xdotool click 1
    xdotool key Return
    kill -USR1 "$pid"
    wait_for_line "key down 0x1C" 100 || fail "Return not reported"
    wait_for_line "external request" 100 || fail "SIGUSR1 not reported"
    import -window root "$WORK/shot.png" || fail "no screenshot"
    xdotool key Escape
    wait_for_line "quit escape" 100 || fail "Escape did not end the program"
    wait "$pid" || fail "the program failed (exit $?)"

    for line in "left down" "left up" "key up 0x1C" "key down 0x01"; do
        grep -qx "$line" "$WORK/out.txt" || fail "'$line' not reported"
    done
    check_colour 200 175 FF0000 "red quad"
    check_colour 600 175 00FF00 "green quad"
    check_colour 200 425 0000FF "blue quad"
    check_colour 600 425 FFFFFF "white quad"
    check_colour 400 300 101040 "background"
    check_colour 1 1 101040 "background corner"
    check_colour 799 599 101040 "background corner"

    # Full screen where no window manager carries it out: the window keeps the size it has, and
    # the whole picture is scaled to that size, nothing cut off at the right or the bottom.
    mv "$WORK/out.txt" "$WORK/windowed.txt"
    ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" "$SMOKE" 30 --fullscreen >"$WORK/out.txt" 2>"$WORK/err.txt" &
    pid=$!
    wait_for_line ready 300 || fail "the full-screen window did not show its first frame"
    sleep 0.5
    wid=$(xdotool search --name '^Velkora' | head -1)
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    left=$X
    top=$Y
    import -window root "$WORK/shot.png" || fail "no screenshot"
    xdotool key Escape
    wait "$pid" || fail "the full-screen run failed (exit $?)"
    scaled() { check_colour $(($1 * WIDTH / 800)) $(($2 * HEIGHT / 600)) "$3" "$4 in full screen (${WIDTH}x$HEIGHT)"; }
    scaled 200 175 FF0000 "red quad"
    scaled 600 425 FFFFFF "white quad"
    scaled 798 598 101040 "bottom-right corner"
    echo "platform_smoke: window, present, mouse, keyboard, request and full screen all work"
}

check_colour() {
    got=$(pixel $((left + $1)) $((top + $2)))
    [ "$(echo "$got" | tr a-f A-F)" = "#$3" ] || fail "$4 at ($1, $2) is $got, expected #$3"
}

if [ "$INSIDE" = 1 ]; then
    inside
    exit 0
fi

require_tools xvfb-run xdotool import convert
[ -x "$SMOKE" ] || fail "$SMOKE is missing: build the platform_smoke target"
run_under_xvfb "$0"
