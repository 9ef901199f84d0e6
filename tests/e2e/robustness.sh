#!/bin/sh
# Faults around the real program under Xvfb, with the sanitizer build: a display that cannot be
# opened, a flag-report request (SIGUSR1) that arrives before start-up has begun, one 50 ms after
# the start (while the dynamic loader would still be at work if the program mapped more than it
# needs at start) and a storm of them later, the temporaries of a write killed half way, a FIFO
# in the place of System.sys and of the quick save, a damaged GameData.sys, a second copy on the
# same save folder started with another runtime folder, a save folder path far beyond 260 bytes,
# and Continue on a damaged quick save, which must give the title back instead of ending the
# program.
#
# Usage: robustness.sh <build folder>. Exit 77 when Xvfb is missing.
set -u

E2E_NAME=robustness
. "$(dirname "$0")/lib/xvfb.sh"
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/lib/window.sh"

# Starts the program with SIGUSR1 blocked and already pending, as a launcher may hand it over.
start_with_pending_request() {
    python3 -c 'import os, signal, sys
signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGUSR1})
os.kill(os.getpid(), signal.SIGUSR1)
os.execv(sys.argv[1], sys.argv[1:])' "$PROGRAM" >"$WORK/out.txt" 2>"$WORK/err.txt" &
    pid=$!
    trap 'kill "$pid" 2>/dev/null' EXIT
}

find_window() {
    wid=$(timeout 30 xdotool search --sync --name '^Velkora' | head -1)
    [ -n "$wid" ] || fail "no window titled Velkora"
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    LEFT=$X
    TOP=$Y
    xdotool windowfocus --sync "$wid"
}

inside() {
    export XDG_DATA_HOME="$WORK/home" XDG_RUNTIME_DIR="$WORK/run1" VELKORA_NO_MESSAGE_WINDOWS=1
    mkdir -p "$XDG_RUNTIME_DIR"
    SAVE="$XDG_DATA_HOME/Save/Velkora"
    # SDL unloads the X11 libraries it opened before the leak check runs; the unit tests check ours.
    export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
    cd "$GAME" || fail "no sample game in $GAME"

    # A display that cannot be opened: said with the display's name, a failure status, at once.
    DISPLAY=127.0.0.1:4711.0 timeout 60 "$PROGRAM" >"$WORK/dead.txt" 2>&1
    status=$?
    [ "$status" -ne 0 ] && [ "$status" -ne 124 ] || fail "a dead display gave status $status"
    grep -q 'cannot open the display (DISPLAY=127.0.0.1:4711.0)' "$WORK/dead.txt" || fail "no message naming the display"

    # What a killed run and a hostile folder leave behind.
    mkdir -p "$SAVE"
    echo partial >"$SAVE/System.sys.tmp-AbC123"
    echo partial >"$SAVE/Save03.sav.tmp-xYz789"
    echo "not ours" >"$SAVE/notes.txt.tmp-123456"
    mkfifo "$SAVE/System.sys" "$SAVE/Q-Save.sav"
    head -c 300 /dev/urandom >"$SAVE/GameData.sys"

    start_with_pending_request
    find_window
    i=0
    until grep -q '^\[Information\]' "$WORK/err.txt"; do
        i=$((i + 1))
        [ "$i" -lt 100 ] || fail "the request sent before start-up was never answered"
        sleep 0.1
    done
    [ ! -e "$SAVE/System.sys.tmp-AbC123" ] && [ ! -e "$SAVE/Save03.sav.tmp-xYz789" ] ||
        fail "stale temporaries were left in the save folder"
    [ -e "$SAVE/notes.txt.tmp-123456" ] || fail "a file that is not the program's own was removed"

    # A storm of requests: the program lives on.
    n=0
    while [ "$n" -lt 300 ]; do
        kill -USR1 "$pid" 2>/dev/null || fail "the program died during the storm of SIGUSR1"
        n=$((n + 1))
    done
    sleep 1
    kill -0 "$pid" 2>/dev/null || fail "the program died after the storm of SIGUSR1"

    # A second copy with another runtime folder works on the same save folder: it leaves at once.
    XDG_RUNTIME_DIR="$WORK/run2" "$PROGRAM" >"$WORK/second.txt" 2>&1 &
    second=$!
    wait_for_exit "$second" 100 || fail "a second copy on the same save folder is still running"
    wait "$second" || fail "the second copy ended with status $?"
    kill -0 "$pid" 2>/dev/null || fail "the first copy ended when the second started"

    close_and_expect_success
    [ -f "$SAVE/System.sys" ] && [ "$(wc -c <"$SAVE/System.sys")" -eq 1289 ] || fail "System.sys was not written whole"
    echo "robustness: dead display, early request, storm, temporaries, FIFOs and a second copy as expected"

    # A request 50 ms after the start, three times: answered, and the program lives on.
    for attempt in 1 2 3; do
        "$PROGRAM" >"$WORK/out.txt" 2>"$WORK/err.txt" &
        pid=$!
        trap 'kill "$pid" 2>/dev/null' EXIT
        sleep 0.05
        kill -USR1 "$pid"
        i=0
        until grep -q '^\[Information\]' "$WORK/err.txt"; do
            if ! kill -0 "$pid" 2>/dev/null; then
                wait "$pid"
                fail "a request 50 ms after the start ended the program (status $?, attempt $attempt)"
            fi
            i=$((i + 1))
            [ "$i" -lt 100 ] || fail "the request 50 ms after the start was never answered"
            sleep 0.1
        done
        find_window
        close_and_expect_success
    done
    echo "robustness: a request 50 ms after the start is answered"

    # Continue on a damaged quick save: the load failure, then the title; the program goes on. The
    # save folder's path is far longer than 260 bytes.
    long="$WORK/$(printf 'l%.0s' $(seq 1 120))/$(printf 'm%.0s' $(seq 1 120))"
    export XDG_DATA_HOME="$long"
    SAVE="$XDG_DATA_HOME/Save/Velkora"
    mkdir -p "$SAVE"
    head -c 1000 /dev/urandom >"$SAVE/Q-Save.sav"
    "$PROGRAM" >"$WORK/out.txt" 2>"$WORK/err.txt" &
    pid=$!
    trap 'kill "$pid" 2>/dev/null' EXIT
    find_window
    sleep 2
    click_at 100 500
    sleep 3
    click_at 680 369  # Continue
    i=0
    until grep -q 'ロードに失敗しました' "$WORK/err.txt"; do
        i=$((i + 1))
        [ "$i" -lt 100 ] || fail "no load-failure message for the damaged quick save"
        sleep 0.1
    done
    sleep 1
    grep -q 'アドベンチャーの初期化に失敗しました' "$WORK/err.txt" && fail "the failed load ended the adventure's start-up"
    kill -0 "$pid" 2>/dev/null || fail "the program ended after the failed load"
    close_and_expect_success
    [ -f "$SAVE/System.sys" ] || fail "System.sys was not written into the long save folder"
    [ ! -e "$GAME/System.sys" ] && [ ! -e "$GAME/Q-Save.sav" ] || fail "a file was written into the game folder"
    echo "robustness: a damaged quick save gives the title back; a long save folder is used whole"
}

if [ "$INSIDE" = 1 ]; then
    inside
    exit 0
fi

play_game_under_xvfb "$0" xdotool python3
