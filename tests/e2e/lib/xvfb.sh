# Shared by the end-to-end scripts that check a program in a real window under Xvfb. A script
# sets E2E_NAME, sources this file with its own arguments still in place, and runs itself again
# under Xvfb, where it does its checks:
#
#   E2E_NAME=name
#   . "$(dirname "$0")/lib/xvfb.sh"   # reads "[--inside] <build folder> [work folder]"
#   inside() { ... }                   # the checks, on the Xvfb display, in $WORK
#   if [ "$INSIDE" = 1 ]; then inside; exit 0; fi
#   require_tools xvfb-run import      # exit 77 when one is missing
#   run_under_xvfb "$0"
#
# The program writes its output to $WORK/out.txt and its errors to $WORK/err.txt; both are
# shown when the run fails.

INSIDE=0
if [ "${1:-}" = "--inside" ]; then
    INSIDE=1
    shift
fi
BUILD=$(cd "${1:?usage: $E2E_NAME.sh <build folder>}" && pwd)
# The built program and the sample game, for the scripts that play it.
PROGRAM="$BUILD/velkora"
GAME="$BUILD/game"
if [ "$INSIDE" = 1 ]; then
    WORK=$2
fi

fail() {
    echo "$E2E_NAME: $*"
    exit 1
}

# Waits up to $2 tenths of a second for the line $1 in the program's output.
wait_for_line() {
    i=0
    while [ "$i" -lt "$2" ]; do
        grep -qx "$1" "$WORK/out.txt" 2>/dev/null && return 0
        sleep 0.1
        i=$((i + 1))
    done
    return 1
}

# Skips the test (exit 77) when one of the named commands is not installed.
require_tools() {
    for tool in "$@"; do
        if ! command -v "$tool" >/dev/null 2>&1; then
            echo "$E2E_NAME: skipped, $tool is not installed (scripts/install-deps.sh test installs it)"
            exit 77
        fi
    done
}

# Runs the script $1 again with --inside under a fresh Xvfb screen, in a temporary work folder,
# and exits with its status.
run_under_xvfb() {
    WORK=$(mktemp -d)
    trap 'rm -rf "$WORK"' EXIT
    xvfb-run -a -s "-screen 0 1024x768x24" "$1" --inside "$BUILD" "$WORK"
    status=$?
    if [ "$status" -ne 0 ]; then
        echo "--- program output"
        tail -n 30 "$WORK/out.txt" 2>/dev/null
        echo "--- program errors"
        grep -v '^ALSA' "$WORK/err.txt" 2>/dev/null | tail -n 30
    fi
    exit "$status"
}

# For the scripts that play the built game ($PROGRAM in the sample game $GAME): requires the
# named tools besides Xvfb (a missing one fails the test: the test tool chain installs them),
# the program and the game, then runs the script $1 under Xvfb as run_under_xvfb does.
play_game_under_xvfb() {
    script=$1
    shift
    require_tools xvfb-run Xvfb
    for tool in "$@"; do
        command -v "$tool" >/dev/null 2>&1 || fail "$tool is missing: run scripts/install-deps.sh test"
    done
    [ -x "$PROGRAM" ] || fail "$PROGRAM is missing: build the velkora target"
    [ -e "$GAME/System.pac" ] || fail "the sample game is missing: build the sample_game target"
    run_under_xvfb "$script"
}
