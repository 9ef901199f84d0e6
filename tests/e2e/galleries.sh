#!/bin/sh
# The extra menu's galleries and the flag report with the built program in a real window under
# Xvfb, after an earlier play that earned the extra menu and the pictures 0-5: the title, the
# picture gallery's grid, the full view stepping through an entry of three pictures and back,
# the music gallery playing a track, and back to the title each time; then a new game, where
# SIGUSR1 asks for the flag report. A stand-in zenity on PATH records every dialog the program
# opens and answers the file chooser. Screenshots are checked for their content: picture
# detail where thumbnails and pictures belong, text on the buttons, the looks of locked,
# playing and disabled cells. Screenshots stay in <build>/e2e/galleries.
#
# Usage: galleries.sh <build folder>. Exit 77 when Xvfb is missing.
set -u

E2E_NAME=galleries
. "$(dirname "$0")/lib/xvfb.sh"
ARTIFACTS="$BUILD/e2e/galleries"

# The window's client area from a screenshot of the whole screen, kept in $ARTIFACTS.
shot() {
    import -window root "$WORK/root.png" || fail "no screenshot"
    convert "$WORK/root.png" -crop "800x600+$LEFT+$TOP" +repage "$WORK/$1.png" || fail "cannot crop the window"
    cp "$WORK/$1.png" "$ARTIFACTS/$1.png"
}

click_at() {
    xdotool mousemove $((LEFT + $1)) $((TOP + $2))
    sleep 0.2
    xdotool click "${3:-1}"
}

# "$1 WxH+X+Y expression": the fx expression over that region of screenshot $1 ("mean",
# "standard_deviation", "mean.r"...), as a number from 0 to 1000.
measure() {
    convert "$WORK/$1.png" -crop "$2" +repage -format "%[fx:int(1000*$3)]" info:
}

# The share (0-1000) of pixels in region $2 of screenshot $1 that are near white: button text.
text_pixels() {
    convert "$WORK/$1.png" -crop "$2" +repage -colorspace gray -threshold 85% -format "%[fx:int(1000*mean)]" info:
}

# The number of pixels that differ by more than 8% between region $3 of screenshots $1 and $2.
differing() {
    convert "$WORK/$1.png" -crop "$3" +repage "$WORK/a.png"
    convert "$WORK/$2.png" -crop "$3" +repage "$WORK/b.png"
    compare -metric AE -fuzz 8% "$WORK/a.png" "$WORK/b.png" null: 2>&1
}

# The same for the near-white pixels (text) only: backgrounds chosen at random do not count.
differing_text() {
    convert "$WORK/$1.png" -crop "$3" +repage -colorspace gray -threshold 85% "$WORK/a.png"
    convert "$WORK/$2.png" -crop "$3" +repage -colorspace gray -threshold 85% "$WORK/b.png"
    compare -metric AE "$WORK/a.png" "$WORK/b.png" null: 2>&1
}

expect() {
    [ "$2" "$3" "$4" ] || fail "$1 ($2 $3 $4)"
}

# A System.sys of an earlier play: game flag 0 (the extra menu) and picture flags 0-5 earned.
# Its key is all zeros, so every field stands in the file as it is.
write_system_data() {
    python3 - "$1" <<'PY'
import struct, sys
face = "ＭＳ ゴシック".encode("cp932") + b"\0"
data = bytes(32) + struct.pack("<7I", 1, 0, 0, 0, 0, 0xFFFFFFFF, 0) + struct.pack("<I", len(face)) + face
data += struct.pack("<iBBI", 22, 0, 0, 0xFFFFFFFF) + struct.pack("<8I", 2, 2, 137, 250, 0, 1, 1, 1)
data += struct.pack("<3i", -2000, -2000, -2000)
data += bytes([1, 0, 0, 0, 0]) + bytes([1] * 6 + [0] * 1018) + bytes(128)
open(sys.argv[1], "wb").write(data)
PY
}

inside() {
    export XDG_DATA_HOME="$WORK/home" XDG_RUNTIME_DIR="$WORK/home"
    export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
    SAVE="$XDG_DATA_HOME/Save/Velkora"
    mkdir -p "$SAVE" "$ARTIFACTS" "$WORK/bin"
    write_system_data "$SAVE/System.sys"
    # The stand-in zenity: one line per dialog; the chooser answers a name without extension.
    cat >"$WORK/bin/zenity" <<EOF
#!/bin/sh
echo "\$*" >>"$WORK/dialogs.txt"
case " \$* " in *" --file-selection "*) echo "$WORK/flags" ;; esac
exit 0
EOF
    chmod +x "$WORK/bin/zenity"
    export PATH="$WORK/bin:$PATH"

    cd "$GAME" || fail "no sample game in $GAME"
    "$PROGRAM" >"$WORK/out.txt" 2>"$WORK/err.txt" &
    pid=$!
    trap 'kill "$pid" 2>/dev/null' EXIT
    wid=$(timeout 20 xdotool search --sync --name '^Velkora' | head -1)
    [ -n "$wid" ] || fail "no window titled Velkora"
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    LEFT=$X
    TOP=$Y
    xdotool windowfocus --sync "$wid"
    sleep 2
    click_at 100 500
    sleep 2.5
    shot title

    # Outside the adventure the request only says so, through the desktop dialog in Japanese.
    kill -USR1 "$pid"
    sleep 1
    grep -q -- "--info .*ADVモード以外ではデバッグ情報を出力できません" "$WORK/dialogs.txt" ||
        fail "no information dialog for SIGUSR1 on the title: $(cat "$WORK/dialogs.txt" 2>/dev/null)"

    # The picture gallery: five unlocked thumbnails, entry 5 locked, nothing beyond.
    click_at 680 469
    sleep 1
    click_at 347 236
    sleep 1.8
    shot cg_list
    for cell in 0 1 2 3 4; do
        x=$((80 + 132 * (cell % 5)))
        y=$((75 + 102 * (cell / 5)))
        expect "thumbnail $cell shows a picture" "$(measure cg_list "110x80+$((x + 5))+$((y + 5))" standard_deviation)" -gt 40
    done
    expect "the locked entry is the dark locked cell" "$(measure cg_list 110x80+85+182 mean)" -lt 150
    expect "the locked entry shows no picture" "$(measure cg_list 110x80+85+182 standard_deviation)" -lt 60
    expect "back has its label" "$(text_pixels cg_list 140x30+643+549)" -gt 5
    expect "the movie-gallery button has its label" "$(text_pixels cg_list 140x30+502+549)" -gt 5

    # Entry 2: three pictures full screen, then the list again.
    click_at 404 120
    sleep 0.5
    shot cg_view1
    click_at 400 300
    sleep 0.5
    shot cg_view2
    click_at 400 300
    sleep 0.5
    shot cg_view3
    for view in cg_view1 cg_view2 cg_view3; do
        expect "$view fills the screen with a picture" "$(measure $view 800x600+0+0 standard_deviation)" -gt 40
        expect "$view hides the grid" "$(differing cg_list $view 800x600+0+0)" -gt 200000
    done
    expect "the second picture follows the first" "$(differing cg_view1 cg_view2 800x600+0+0)" -gt 100000
    expect "the third picture follows the second" "$(differing cg_view2 cg_view3 800x600+0+0)" -gt 100000
    click_at 400 300
    sleep 0.5
    shot cg_back
    expect "the list returns as it was" "$(differing cg_list cg_back 800x420+0+180)" -lt 500

    # Back to the title.
    click_at 700 564
    sleep 2.5
    shot title_again
    expect "the title's menu is back" "$(differing_text title title_again 240x300+560+244)" -lt 300

    # The music gallery: a track starts, its row takes the playing look, stop becomes usable.
    click_at 680 469
    sleep 1
    click_at 347 336
    sleep 1.8
    shot bgm
    for track in 0 1 2 3 4 5 6; do
        expect "track $track has its title" "$(text_pixels bgm "300x30+90+$((114 + 42 * track))")" -gt 10
    done
    click_at 200 129
    sleep 1
    xdotool mousemove $((LEFT + 700)) $((TOP + 20))
    sleep 0.5
    shot bgm_playing
    expect "the idle track row is blue" "$(measure bgm 330x30+80+115 'mean.b-mean.r')" -gt 0
    expect "the playing track row turns gold" "$(measure bgm_playing 330x30+80+115 'mean.r-mean.b')" -gt 50
    expect "the stop button wakes up" "$(measure bgm_playing 130x30+588+481 mean)" -gt "$(measure bgm 130x30+588+481 mean)"
    click_at 400 300 3
    sleep 2.5
    shot title_from_music
    expect "the right click returns to the title" "$(differing_text title title_from_music 240x300+560+244)" -lt 300

    # A new game; the request there asks the stand-in chooser, and the report gets ".txt".
    click_at 680 269
    sleep 3
    kill -USR1 "$pid"
    sleep 1
    [ -s "$WORK/flags.txt" ] || fail "the flag report was not written: $(cat "$WORK/dialogs.txt")"
    python3 - "$WORK/flags.txt" <<'PY' || fail "the flag report is not as laid out"
import sys
data = open(sys.argv[1], "rb").read()
lines = data.split(b"\r\n")
assert lines.pop() == b"", "the last line ends with CR LF"
assert len(lines) == 1413, len(lines)
text = [line.decode("cp932") for line in lines]
assert text[0] == "～～フラグ情報～～" and text[258] == "～～CGフラグ情報～～", text[258]
assert text[1284] == "～～ムービー･フラグ情報～～", text[1284]
assert text[257] == "" and text[1283] == ""
assert [text[259 + i] for i in range(6)] == ["%d\t●" % i for i in range(6)], "earlier pictures count"
assert text[265] == "6\t○" and text[1412] == "127\t○"
PY

    # Quit through the in-game menu and its question.
    click_at 400 300 3
    sleep 0.8
    click_at 400 240
    sleep 0.8
    click_at 335 240
    i=0
    while kill -0 "$pid" 2>/dev/null && [ "$i" -lt 100 ]; do
        sleep 0.1
        i=$((i + 1))
    done
    wait "$pid"
    status=$?
    trap - EXIT
    [ "$status" -eq 0 ] || fail "the program ended with status $status"
    echo "galleries: picture and music galleries, their ways back and the flag report as expected"
}

if [ "$INSIDE" = 1 ]; then
    inside
    exit 0
fi

play_game_under_xvfb "$0" xdotool import convert compare python3
