# Runs the program on a private X server (Xvfb) and drives it like a user,
# with xdotool for the mouse and keyboard and ImageMagick's import for pictures.
# Source this file; every function fails after a bounded wait.

xs_window_title="Purgelet - With E-mail Preview"

# Starts Xvfb on the first free display number and exports DISPLAY.
xs_start() {
    local n
    for n in $(seq 91 140); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || break
    done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xs_xvfb_pid=$!
    export DISPLAY=":$n"
    for _ in $(seq 100); do
        xdotool getdisplaygeometry >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    echo "Xvfb did not start on $DISPLAY" >&2
    return 1
}

# Starts the given command line and waits for the main window to show. Its
# output goes to the file $xs_output when that is set.
xs_launch() {
    QT_QPA_PLATFORM=xcb "$@" >"${xs_output:-/dev/stderr}" 2>&1 &
    xs_app_pid=$!
    xs_window=$(timeout 20 xdotool search --sync --onlyvisible --name "$xs_window_title" | head -n 1) || true
    if [ -z "$xs_window" ]; then
        echo "the window did not appear" >&2
        return 1
    fi
    xdotool windowmove "$xs_window" 0 0
    sleep 0.5
}

# Clicks at window coordinates X Y, given at 100% scale (QT_SCALE_FACTOR
# multiplies them).
xs_click() {
    local scale="${QT_SCALE_FACTOR:-1}"
    xdotool mousemove --window "$xs_window" $(($1 * scale)) $(($2 * scale)) click 1
    sleep 0.2
}

# Clicks into the text box at X Y, empties it and types TEXT.
xs_type_into() {
    xs_click "$1" "$2"
    xdotool key --window "$xs_window" ctrl+a BackSpace
    xdotool type --window "$xs_window" --delay 20 "$3"
}

# Where the window's controls are (pixels inside the window, 100% scale).
xs_log_in() {
    xs_type_into 150 25 "$1"   # host
    xs_type_into 150 49 "$2"   # user name
    xs_type_into 150 73 "$3"   # password
}
xs_press_check_mails() { xs_click 296 28; }
xs_press_delete_on_server() { xs_click 480 200; }
xs_click_line() { xs_click 120 $((154 + 17 * $1)); }   # line N of the message list, from 0

# Saves a picture of the window to FILE.
xs_shot() { import -window "$xs_window" "$1"; }

# Ends the program (if still running) and the X server.
xs_stop() {
    local pid
    for pid in ${xs_app_pid:-} ${xs_xvfb_pid:-}; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    xs_app_pid="" xs_xvfb_pid=""
}
