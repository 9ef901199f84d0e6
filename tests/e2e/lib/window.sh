# Shared by the end-to-end scripts that drive the game's window with xdotool: screenshots of the
# client area, comparison with reference images, clicks, keys and closing. The script sets
# REFERENCES (folder of the reference images), ARTIFACTS (where mismatches are kept), LEFT and
# TOP (the client area's corner on the screen) and, optionally, FUZZ and ALLOWED.

FUZZ=${FUZZ:-4%}   # per-pixel tolerance
ALLOWED=${ALLOWED:-50}  # pixels beyond the tolerance

# The window's client area from a screenshot of the whole screen.
screenshot() {
    import -window root "$WORK/root.png" || fail "no screenshot"
    convert "$WORK/root.png" -crop "800x600+$LEFT+$TOP" +repage "$1" || fail "cannot crop the window"
}

# Compares the window with the reference images $1.png (or $1-2.png, for a picture chosen at
# random); regions given as further WxH+X+Y arguments are blacked out on both sides first
# (animated parts such as the click-wait cursor).
check() {
    name=$1
    shift
    screenshot "$WORK/$name.png"
    masks=""
    for region in "$@"; do
        set -- $(echo "$region" | tr 'x+' '  ')
        masks="$masks -draw \"rectangle $3,$4 $(($3 + $1 - 1)),$(($4 + $2 - 1))\""
    done
    if [ "${UPDATE_REFERENCES:-0}" = 1 ]; then
        # A picture chosen at random gets a second reference when it differs from the first.
        mkdir -p "$REFERENCES"
        target="$REFERENCES/$name.png"
        if [ -e "$target" ] && [ -n "${SECOND_REFERENCE:-}" ] &&
            [ "$(compare -metric AE -fuzz "$FUZZ" "$target" "$WORK/$name.png" null: 2>&1)" != 0 ]; then
            target="$REFERENCES/$name-2.png"
        fi
        cp "$WORK/$name.png" "$target"
        echo "$E2E_NAME: wrote $target"
        return 0
    fi
    best=""
    for reference in "$REFERENCES/$name.png" "$REFERENCES/$name-2.png"; do
        [ -e "$reference" ] || continue
        eval convert "\"$WORK/$name.png\"" -fill black $masks "\"$WORK/new.png\""
        eval convert "\"$reference\"" -fill black $masks "\"$WORK/old.png\""
        differing=$(compare -metric AE -fuzz "$FUZZ" "$WORK/old.png" "$WORK/new.png" "$WORK/diff.png" 2>&1)
        case "$differing" in
            *[!0-9]*|"") fail "$name: cannot compare with $reference: $differing" ;;
        esac
        if [ -z "$best" ] || [ "$differing" -lt "$best" ]; then
            best=$differing
            cp "$WORK/diff.png" "$WORK/best-diff.png"
        fi
    done
    [ -n "$best" ] || fail "$name: no reference image in $REFERENCES"
    if [ "$best" -gt "$ALLOWED" ]; then
        mkdir -p "$ARTIFACTS"
        cp "$WORK/$name.png" "$ARTIFACTS/$name.new.png"
        cp "$WORK/best-diff.png" "$ARTIFACTS/$name.diff.png"
        fail "$name: $best pixels differ from the reference; see $ARTIFACTS/$name.new.png and $name.diff.png"
    fi
    echo "$E2E_NAME: $name matches its reference ($best pixels beyond the tolerance)"
}

# Clicks at a point of the client area.
click_at() {
    xdotool mousemove $((LEFT + $1)) $((TOP + $2))
    sleep 0.2
    xdotool click "${3:-1}"
}

key() {
    xdotool key "$1"
    sleep "${2:-0.5}"
}

# Sends WM_DELETE_WINDOW, as a window manager's close button does.
close_window() {
    python3 - "$1" <<'PY'
import ctypes, sys
x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XInternAtom.restype = ctypes.c_ulong
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]
class Event(ctypes.Union):
    _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]
x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.POINTER(Event)]
x11.XFlush.argtypes = [ctypes.c_void_p]
x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
display = x11.XOpenDisplay(None)
window = int(sys.argv[1])
event = Event()
event.xclient.type = 33  # ClientMessage
event.xclient.window = window
event.xclient.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
event.xclient.format = 32
event.xclient.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
x11.XSendEvent(display, window, 0, 0, ctypes.byref(event))
x11.XFlush(display)
x11.XCloseDisplay(display)
PY
}

# Waits up to $2 tenths of a second for process $1 to end; true when it has.
wait_for_exit() {
    i=0
    while [ "$i" -lt "$2" ]; do
        kill -0 "$1" 2>/dev/null || return 0
        sleep 0.1
        i=$((i + 1))
    done
    return 1
}


# Starts $PROGRAM in the current folder (output in $WORK/out.txt and err.txt) and finds its
# window: pid, wid, LEFT and TOP are set; the program is killed when the script exits.
open_game_window() {
    "$PROGRAM" >"$WORK/out.txt" 2>"$WORK/err.txt" &
    pid=$!
    trap 'kill "$pid" 2>/dev/null' EXIT

    wid=$(timeout 20 xdotool search --sync --name '^Velkora' | head -1)
    [ -n "$wid" ] || fail "no window titled Velkora"
    [ "$(xdotool getwindowname "$wid")" = "Velkora ～Sarnith～" ] || fail "window title is '$(xdotool getwindowname "$wid")'"
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    LEFT=$X
    TOP=$Y
    [ "$WIDTH $HEIGHT" = "800 600" ] || fail "client area is ${WIDTH}x$HEIGHT"
    xdotool windowfocus --sync "$wid"
}

# Closes the window $wid of the program $pid as a user does and requires a clean end.
close_and_expect_success() {
    close_window "$wid"
    wait_for_exit "$pid" 150 || fail "the program did not end when its window was closed"
    wait "$pid"
    status=$?
    trap - EXIT
    [ "$status" -eq 0 ] || fail "the program ended with status $status"
}
