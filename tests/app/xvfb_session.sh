# SPDX-License-Identifier: Apache-2.0
# shellcheck shell=bash disable=SC2034 # the variables set here are read by the callers
# Sourced by the end-to-end tests and scripts/screenshot: a private X server
# (Xvfb), bounded polling, the loopback_ports helper, the program under test,
# its windows, and clean-up on every exit path. Works with and without
# `set -e`. The start_* and press_key functions return 1 with the reason in
# $session_problem; the caller decides whether that fails or skips.

readonly kWaitSeconds=30
scratch="" xvfb_pid="" ports_pid="" app_pid="" app_status="" session_problem=""

problem() { # TEXT...: records why a step failed; returns 1
    session_problem="$*"
    return 1
}

# Polls COMMAND every 0.1 s for up to kWaitSeconds; 0 once it holds, 1 when
# time ran out.
wait_until() { # COMMAND...
    local deadline=$((SECONDS + kWaitSeconds))
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
}

stop_process() { # PID: TERM, then KILL after 5 s; reaps it
    [[ -n "$1" ]] || return 0
    kill "$1" 2>/dev/null || return 0
    for _ in $(seq 50); do
        kill -0 "$1" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}

end_session() {
    stop_process "$app_pid"
    stop_process "$ports_pid"
    stop_process "$xvfb_pid"
    [[ -z "$scratch" ]] || rm -rf "$scratch"
}

# Makes $scratch, a new temporary folder named NAME.XXXXXX, with the given
# subfolders (mode 700); on exit every process started here is stopped and
# the folder removed.
begin_session() { # NAME SUBFOLDER...
    trap end_session EXIT
    trap 'exit 1' INT TERM HUP
    scratch=$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX") || problem "cannot make a temporary folder" || return
    local d
    for d in "${@:2}"; do
        mkdir -m 700 "$scratch/$d" || problem "cannot make $scratch/$d" || return
    done
}

# Starts Xvfb and exports DISPLAY. -displayfd: the server picks a display
# number no other server uses and writes it to the descriptor once it accepts
# connections. -noreset: the server does not reset when its last client
# leaves, a time in which a program starting up could not connect. The
# server's files (display, xvfb.err) go into DIR.
start_xvfb() { # DIR
    command -v Xvfb >/dev/null ||
        problem "Xvfb is not installed (scripts/install-deps installs the xvfb package)" || return
    command -v xdotool >/dev/null ||
        problem "xdotool is not installed (scripts/install-deps installs it)" || return
    Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -nolisten tcp 3>"$1/display" 2>"$1/xvfb.err" &
    xvfb_pid=$!
    wait_until xvfb_reported "$1" ||
        problem "Xvfb did not report a display within ${kWaitSeconds} s" || return
    kill -0 "$xvfb_pid" 2>/dev/null ||
        problem "Xvfb could not start: $(tail -n 3 "$1/xvfb.err")" || return
    DISPLAY=":$(tr -dc 0-9 <"$1/display")"
    export DISPLAY
    timeout "$kWaitSeconds" xdotool getdisplaygeometry >/dev/null ||
        problem "cannot connect to the Xvfb server on $DISPLAY"
}
xvfb_reported() { [[ -s "$1/display" ]] || ! kill -0 "$xvfb_pid" 2>/dev/null; }

# Starts the loopback_ports helper as a coprocess with the given requests; it
# keeps its ports open until its standard input, our pipe, ends. Sets the
# array port_numbers to the ports it printed, one per request.
start_loopback_ports() { # HELPER REQUEST...
    coproc PORTS { exec "$@"; }
    ports_pid=$PORTS_PID
    read -r -t "$kWaitSeconds" -u "${PORTS[0]}" -a port_numbers ||
        problem "loopback_ports printed no ports" || return
    [[ ${#port_numbers[@]} -eq $(($# - 1)) && "${port_numbers[*]}" =~ ^[0-9\ ]+$ ]] ||
        problem "loopback_ports printed '${port_numbers[*]}'"
}

# Starts PROGRAM ARGS... in the background with a clean environment: PATH,
# DISPLAY, the xcb platform, a C.UTF-8 locale, and HOME, XDG_RUNTIME_DIR,
# TMPDIR and the working folder in $scratch's home/, runtime/, tmp/ and run/.
# Its output goes to $scratch/aux/app.out and app.err. Sets app_pid.
start_isolated() { # PROGRAM ARGS...
    (
        cd "$scratch/run" &&
            exec env -i PATH="$PATH" DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb LANG=C.UTF-8 \
                HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/runtime" TMPDIR="$scratch/tmp" "$@"
    ) </dev/null >"$scratch/aux/app.out" 2>"$scratch/aux/app.err" &
    app_pid=$!
}
app_alive() { kill -0 "$app_pid" 2>/dev/null; }
app_gone() { ! app_alive; }

# Waits up to kWaitSeconds for the program to end and sets app_status to its
# exit status.
wait_for_app_exit() {
    wait_until app_gone || problem "the program did not end within ${kWaitSeconds} s" || return
    app_status=0
    wait "$app_pid" || app_status=$?
    app_pid=""
}

# find_window, polled for up to kWaitSeconds or until PID ends.
wait_for_window() { # TITLE PID [OPTION...]
    local deadline=$((SECONDS + kWaitSeconds))
    until find_window "$@"; do
        kill -0 "$2" 2>/dev/null && ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
}

# Prints the window of PID titled exactly TITLE; OPTIONs go to xdotool
# search, e.g. --onlyvisible. (xdotool's name match is a regular expression
# that ignores case, so the title is compared here.)
find_window() { # TITLE PID [OPTION...]
    local w
    for w in $(xdotool search "${@:3}" --pid "$2" 2>/dev/null); do
        [[ "$(xdotool getwindowname "$w" 2>/dev/null)" == "$1" ]] && { echo "$w"; return 0; }
    done
    return 1
}

# Without a window manager a window is activated by giving it the input
# focus; the key then goes through the server's input path (XTEST) as a key
# typed on a keyboard would, not as an event sent to one window.
press_key() { # WINDOW KEY
    timeout "$kWaitSeconds" xdotool windowfocus --sync "$1" || problem "cannot focus window $1" || return
    [[ "$(xdotool getwindowfocus)" == "$1" ]] || problem "window $1 did not take the focus" || return
    xdotool key "$2" || problem "xdotool could not press $2"
}

# --- reporting, for the tests ---------------------------------------------------
readonly kSkip=77 # ctest's SKIP_RETURN_CODE
note() { echo "-- $*"; }
skip() {
    echo "SKIP: $*" >&2
    exit "$kSkip"
}
fail() {
    echo "FAIL: $*" >&2
    show_program_output
    exit 1
}
show_program_output() {
    local f
    for f in app.out app.err xvfb.err; do
        [[ -s "$scratch/aux/$f" ]] && { echo "--- $f:"; cat "$scratch/aux/$f"; } >&2
    done
    return 0
}

# Checks that message box WINDOW says TEXT. The box's text is selectable with
# the mouse: a triple click selects it all into the PRIMARY selection, read
# back with Python's tkinter. Where tkinter is missing the check is only
# noted. Returns 1, with the reason in session_problem, when the text differs.
check_box_text() { # window text
    local window=$1 expected=$2
    if ! python3 -c 'import tkinter' 2>/dev/null; then
        note "the box's text is not checked: python3's tkinter is not installed"
        return 0
    fi
    primary_selection() {
        timeout 10 python3 -c 'import tkinter
t = tkinter.Tk()
t.withdraw()
print(t.selection_get(selection="PRIMARY"))' 2>/dev/null
    }
    box_text_selected() { [[ "$(primary_selection)" == "$expected" ]]; }
    eval "$(xdotool getwindowgeometry --shell "$window")" # WIDTH, HEIGHT
    if ! xdotool mousemove --window "$window" $((WIDTH / 2)) 20 click --repeat 3 --delay 50 1; then
        session_problem="cannot click on the box"
        return 1
    fi
    if ! wait_until box_text_selected; then
        session_problem="the box says '$(primary_selection)', not '$expected'"
        return 1
    fi
    note "the box says: $expected"
}
