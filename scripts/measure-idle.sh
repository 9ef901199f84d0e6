#!/bin/sh
# Measures the real program idling on the sample game's first story page under Xvfb: the share
# of one core it uses (all its threads), its resident memory (now and at its peak) and its
# thread count, over a fixed time. The program is measured twice in one run, once as it draws
# normally and once in its full-redraw mode (VELKORA_FULL_REDRAW=1, every frame drawn and shown
# whole), each with the click-wait cursor animating and then with the message window hidden
# (no animation left on the page). Last, the same on a page of 16 full-screen layers (the sample
# game with its first script replaced, compiled by the build's tools/vsfc).
#
# Usage: scripts/measure-idle.sh [build folder] [seconds] [repetitions]
#   build folder: holds velkora, game/ and tools/vsfc (default build/release; build the targets
#   velkora, sample_game and vsfc)
#   seconds: the length of each measurement (default 10)
#   repetitions: measurements of each kind, each figure reported as their median (default 3)
# MEASURE_IDLE_SHOTS=<folder> keeps a screenshot of the screen as each measurement starts.
set -u

BUILD=$(cd "${1:-build/release}" && pwd) || exit 1
SECONDS_EACH=${2:-10}
REPEAT=${3:-3}
PROGRAM="$BUILD/velkora"
GAME="$BUILD/game"

if [ "${MEASURE_IDLE_INSIDE:-0}" != 1 ]; then
    for tool in xvfb-run xdotool; do
        command -v "$tool" >/dev/null 2>&1 || { echo "measure-idle: $tool is missing (scripts/install-deps.sh)"; exit 1; }
    done
    [ -x "$PROGRAM" ] || { echo "measure-idle: $PROGRAM is missing: build the velkora target"; exit 1; }
    [ -e "$GAME/System.pac" ] || { echo "measure-idle: the sample game is missing: build sample_game"; exit 1; }
    export MEASURE_IDLE_INSIDE=1
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$BUILD" "$SECONDS_EACH" "$REPEAT"
fi

WORK=$(mktemp -d)
pid=0
trap '[ "$pid" -gt 0 ] && kill "$pid" 2>/dev/null; rm -rf "$WORK"' EXIT
TICKS=$(getconf CLK_TCK)

# The process's CPU time in clock ticks, user and system, all threads.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
status_kib() { awk -v key="$2:" '$1 == key { print $2 }' "/proc/$1/status"; }

click_at() {
    xdotool mousemove $((LEFT + $1)) $((TOP + $2))
    sleep 0.2
    xdotool click "${3:-1}"
}

# Starts the program in the game folder $1 and brings it to the first page of a new game,
# shown whole.
start_on_first_page() {
    rm -rf "$WORK/home"
    mkdir -p "$WORK/home"
    (cd "$1" && XDG_DATA_HOME="$WORK/home" XDG_RUNTIME_DIR="$WORK/home" VELKORA_NO_MESSAGE_WINDOWS=1 \
        exec "$PROGRAM" >"$WORK/out.txt" 2>"$WORK/err.txt") &
    pid=$!
    wid=$(timeout 20 xdotool search --sync --name '^Velkora' | head -1)
    [ -n "$wid" ] || { echo "measure-idle: no window"; exit 1; }
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    LEFT=$X
    TOP=$Y
    xdotool mousemove $((LEFT + 100)) $((TOP + 500))
    sleep 2
    click_at 100 500   # the maker logo
    sleep 3
    click_at 680 269   # new game
    sleep 2.5
    xdotool key Return # the first page, shown whole
    sleep 2
}

# Prints "cpu% peak_MiB rss_MiB threads" over SECONDS_EACH seconds.
measure() {
    before=$(cpu_ticks "$pid")
    start=$(date +%s.%N)
    sleep "$SECONDS_EACH"
    after=$(cpu_ticks "$pid")
    end=$(date +%s.%N)
    echo "$before $after $start $end $TICKS $(status_kib "$pid" VmHWM) $(status_kib "$pid" VmRSS) $(status_kib "$pid" Threads)" |
        awk '{ printf "%.2f %.1f %.1f %d\n", 100 * ($2 - $1) / $5 / ($4 - $3), $6 / 1024, $7 / 1024, $8 }'
}

stop_program() {
    [ "$pid" -gt 0 ] && kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    pid=0
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# One kind: $1 label, $2 "full" or "", $3 "hidden" to hide the message window first, $4 the
# game folder (default: the sample game).
run_kind() {
    : >"$WORK/rows"
    i=0
    while [ "$i" -lt "$REPEAT" ]; do
        if [ "$2" = full ]; then export VELKORA_FULL_REDRAW=1; else unset VELKORA_FULL_REDRAW; fi
        start_on_first_page "${4:-$GAME}"
        if [ "$3" = hidden ]; then
            # The bar's hide button; the pointer then rests away from the bar.
            click_at 780 585
            xdotool mousemove $((LEFT + 100)) $((TOP + 300))
            sleep 1
        fi
        if [ -n "${MEASURE_IDLE_SHOTS:-}" ]; then
            mkdir -p "$MEASURE_IDLE_SHOTS"
            import -window root "$MEASURE_IDLE_SHOTS/$(echo "$1" | tr ' ,' '_')-$i.png"
        fi
        measure "$pid" >>"$WORK/rows"
        stop_program
        i=$((i + 1))
    done
    cpu=$(awk '{ print $1 }' "$WORK/rows" | median)
    peak=$(awk '{ print $2 }' "$WORK/rows" | median)
    rss=$(awk '{ print $3 }' "$WORK/rows" | median)
    threads=$(awk '{ print $4 }' "$WORK/rows" | median)
    printf '%-34s %7s%% %9s %9s %8s   (runs: %s)\n' "$1" "$cpu" "$peak" "$rss" "$threads" \
        "$(awk '{ printf "%s%% ", $1 }' "$WORK/rows")"
}

echo "idle on the first story page, ${SECONDS_EACH} s per measurement, median of $REPEAT"
printf '%-34s %8s %9s %9s %8s\n' "" "cpu" "peak MiB" "rss MiB" "threads"
run_kind "tracked, cursor animating" "" ""
run_kind "full redraw, cursor animating" full ""
run_kind "tracked, message window hidden" "" hidden
run_kind "full redraw, message window hidden" full hidden

# The sample game with a first page of 16 full-screen pictures, each at a fifth of its opacity.
make_sixteen_layer_game() {
    game16="$WORK/game16"
    mkdir -p "$game16/Script"
    for entry in "$GAME"/*; do [ "$(basename "$entry")" = Script ] || ln -s "$entry" "$game16/"; done
    for entry in "$GAME"/Script/*; do ln -s "$entry" "$game16/Script/"; done
    {
        echo 'header "Sixteen layers"'
        echo 'page'
        layer=0
        for picture in BG/Harbour BG/Market BG/LampRoom BG/LighthouseNight CG/CG01 CG/CG02 CG/CG03 CG/CG04; do
            for copy in 0 1; do
                echo "  layer $layer: load \"Image/$picture.bmp\"; colour 0x33FFFFFF; cut in"
                layer=$((layer + 1))
            done
        done
        echo '  text: say "Sixteen layers."'
    } >"$WORK/Main.vss"
    "$BUILD/tools/vsfc" "$WORK/Main.vss" -o "$game16/Script/Main.vsf" >/dev/null
}

if [ -x "$BUILD/tools/vsfc" ] && make_sixteen_layer_game; then
    run_kind "16 layers, tracked" "" "" "$WORK/game16"
    run_kind "16 layers, full redraw" full "" "$WORK/game16"
else
    echo "(16-layer page skipped: build the vsfc target)"
fi
