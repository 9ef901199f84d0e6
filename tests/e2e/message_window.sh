#!/bin/sh
# Draws the message window with tools/message_window_demo in a real window under Xvfb, waits
# until its text is fully revealed, takes a screenshot and checks it: the window's client area
# equals the back buffer the program wrote, the frame and name plate stand where the layout puts
# them, the text lines hold white glyphs (first line), gold glyphs (second line, its own format)
# and dark outline and shadow pixels, and the name shows on the plate.
# Usage: message_window.sh <build folder>. Exit 77 when Xvfb or ImageMagick is missing.
set -u

E2E_NAME=message_window
. "$(dirname "$0")/lib/xvfb.sh"
DEMO="$BUILD/tools/message_window_demo"

# Fraction of the region's pixels (WxH+X+Y of the back buffer) that are near white, dark, or gold.
white() { convert "$WORK/window.png" -crop "$1" +repage -colorspace gray -threshold 85% -format '%[fx:mean]' info:; }
dark() { convert "$WORK/window.png" -crop "$1" +repage -colorspace gray -negate -threshold 92% -format '%[fx:mean]' info:; }
gold() {
    convert "$WORK/window.png" -crop "$1" +repage -fuzz 10% -fill red -opaque '#FFD860' \
        -fill black +opaque red -fill white -opaque red -format '%[fx:mean]' info:
}
pixel() { convert "$WORK/window.png" -crop "1x1+$1+$2" -depth 8 txt:- | grep -o '#[0-9A-Fa-f]\{6\}' | head -1; }
above() { awk -v v="$1" -v t="$2" 'BEGIN { exit !(v > t) }'; }

inside() {
    # SDL unloads the X11 libraries it opened before the leak check runs; the unit tests check ours.
    ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" "$DEMO" "$WORK/dump.png" 60 \
        >"$WORK/out.txt" 2>"$WORK/err.txt" &
    pid=$!
    trap 'kill "$pid" 2>/dev/null' EXIT
    wait_for_line ready 600 || fail "the text was not fully shown"
    sleep 0.3
    import -window root "$WORK/shot.png" || fail "no screenshot"
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null

    set -- $(grep '^window ' "$WORK/out.txt")
    [ "$#" -eq 5 ] || fail "no window position reported"
    [ "$4 $5" = "800 600" ] || fail "client area is $4x$5"
    convert "$WORK/shot.png" -crop "800x600+$2+$3" +repage "$WORK/window.png" || fail "cannot crop the window"
    grep -qx "glyphs 38 3" "$WORK/out.txt" || fail "unexpected glyph counts: $(grep '^glyphs' "$WORK/out.txt")"
    [ -s "$WORK/dump.png" ] || fail "no back-buffer dump"
    differing=$(compare -metric AE "$WORK/window.png" "$WORK/dump.png" null: 2>&1)
    [ "$differing" = "0" ] || fail "$differing pixels of the window differ from the back buffer"

    [ "$(pixel 400 200)" = "#6080A0" ] || fail "background is $(pixel 400 200)"
    frame=$(pixel 700 580)
    [ "$frame" != "#6080A0" ] || fail "no frame at (700, 580)"
    [ "$(pixel 5 590)" = "$frame" ] || fail "frame colour differs across the frame"
    plate=$(pixel 140 432)
    [ "$plate" != "#6080A0" ] && [ "$plate" != "$frame" ] || fail "no name plate at (140, 432)"
    [ "$(pixel 150 432)" = "#6080A0" ] || fail "the plate reaches past its 146 pixels"

    line1="570x30+90+482"
    line2="570x30+90+510"
    name="119x31+10+436"
    above "$(white $line1)" 0.03 || fail "first line: too few white glyph pixels ($(white $line1))"
    above "$(dark $line1)" 0.02 || fail "first line: no dark outline or shadow ($(dark $line1))"
    above "$(gold $line2)" 0.03 || fail "second line: too few gold glyph pixels ($(gold $line2))"
    above 0.001 "$(white $line2)" || fail "second line: white pixels in a gold line"
    above "$(dark $line2)" 0.02 || fail "second line: no dark outline or shadow"
    above "$(white $name)" 0.005 || fail "name: too few white pixels ($(white $name))"
    above 0.001 "$(white 300x40+300+20)" || fail "glyph pixels outside the window"
    echo "message_window: frame, plate, name and both text lines drawn with shadow and outline"
}

if [ "$INSIDE" = 1 ]; then
    inside
    exit 0
fi

require_tools xvfb-run import convert compare awk
[ -x "$DEMO" ] || fail "$DEMO is missing: build the message_window_demo target"
run_under_xvfb "$0"
