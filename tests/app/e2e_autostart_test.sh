#!/usr/bin/env bash
# End to end: the real ostrel window on a private X server (Xvfb).
#   e2e_autostart_test.sh OSTREL OSTREL_CLI LOOPBACK_PORTS
# A list with "Start Automatically" and logging "Always" names two loopback
# TCP targets, one listening and one refusing. Ostrel loads it from its
# arguments and its first pass logs one record per target; Esc then closes the
# window, the process ends, and nothing but the log has been written: the list
# is unchanged byte for byte and the working, home, runtime and temporary
# folders the program was given are still empty.
# Exits 0 on success, 1 on failure, 77 (skip) when no X server can be started.
set -uo pipefail

readonly kSkip=77
readonly kWaitSeconds=30
ostrel=$1 cli=$2 loopback_ports=$3

fail() {
    echo "FAIL: $*" >&2
    show_program_output
    exit 1
}
skip() {
    echo "SKIP: $*" >&2
    exit "$kSkip"
}
note() { echo "-- $*"; }

# --- clean-up on every exit path ----------------------------------------------
scratch="" xvfb_pid="" ostrel_pid="" ports_pid=""
stop_process() { # pid
    [[ -n "$1" ]] || return 0
    kill "$1" 2>/dev/null || return 0
    for _ in $(seq 50); do
        kill -0 "$1" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$1" 2>/dev/null
    wait "$1" 2>/dev/null
}
cleanup() {
    stop_process "$ostrel_pid"
    stop_process "$ports_pid"
    stop_process "$xvfb_pid"
    [[ -n "$scratch" ]] && rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

show_program_output() {
    [[ -n "$scratch" ]] || return 0
    local f
    for f in ostrel.out ostrel.err xvfb.err; do
        [[ -s "$scratch/aux/$f" ]] && { echo "--- $f:"; cat "$scratch/aux/$f"; } >&2
    done
}

# Polls `condition` (a command) every 0.1 s for up to kWaitSeconds; 0 once
# it holds, 1 when time ran out.
wait_until() {
    local deadline=$((SECONDS + kWaitSeconds))
    while ! "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
}

# --- folders --------------------------------------------------------------------
# list/ holds the list and the log; run/, home/, runtime/ and tmp/ are the
# program's working folder, HOME, XDG_RUNTIME_DIR and TMPDIR and must stay
# empty; aux/ holds the test's own files.
scratch=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-e2e.XXXXXX") || fail "cannot make a temporary folder"
for d in list run home runtime tmp aux; do mkdir -m 700 "$scratch/$d" || fail "mkdir $d"; done
list_dir=$scratch/list aux=$scratch/aux
list=$list_dir/targets.osl log=$list_dir/ostrel.log

# --- the X server -----------------------------------------------------------------
command -v Xvfb >/dev/null || skip "Xvfb is not installed (scripts/install-deps installs the xvfb package)"
command -v xdotool >/dev/null || skip "xdotool is not installed (scripts/install-deps installs it)"
# -displayfd: the server picks a display number no other server uses and
# writes it to the descriptor once it accepts connections.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$aux/display" 2>"$aux/xvfb.err" &
xvfb_pid=$!
display_ready() { [[ -s "$aux/display" ]] || ! kill -0 "$xvfb_pid" 2>/dev/null; }
wait_until display_ready || skip "Xvfb did not report a display within ${kWaitSeconds} s"
kill -0 "$xvfb_pid" 2>/dev/null || skip "Xvfb could not start: $(tail -n 3 "$aux/xvfb.err")"
DISPLAY=":$(tr -dc 0-9 <"$aux/display")"
export DISPLAY
timeout "$kWaitSeconds" xdotool getdisplaygeometry >/dev/null ||
    skip "cannot connect to the Xvfb server on $DISPLAY"
note "Xvfb on $DISPLAY"

# --- loopback targets -----------------------------------------------------------
# The helper keeps its ports open until its standard input, our pipe, ends.
coproc PORTS { exec "$loopback_ports" listen refuse; }
ports_pid=$PORTS_PID
read -r -t "$kWaitSeconds" -u "${PORTS[0]}" listen_port refused_port ||
    fail "loopback_ports printed no ports"
[[ "$listen_port" =~ ^[0-9]+$ && "$refused_port" =~ ^[0-9]+$ ]] ||
    fail "loopback_ports printed '$listen_port $refused_port'"
note "listening port $listen_port, refusing port $refused_port"

# --- the list ---------------------------------------------------------------------
"$cli" new "$list" >/dev/null &&
    "$cli" set "$list" --popup off --logging always --log-file "$log" --autostart on >/dev/null &&
    "$cli" add "$list" --tcp "$listen_port" 127.0.0.1 >/dev/null &&
    "$cli" add "$list" --tcp "$refused_port" 127.0.0.1 >/dev/null ||
    fail "ostrel-cli could not write the list"
cp "$list" "$aux/targets.osl.orig" || fail "cannot copy the list"

# --- run ostrel ---------------------------------------------------------------------
(
    cd "$scratch/run" &&
        exec env -i PATH="$PATH" DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb LANG=C.UTF-8 \
            HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/runtime" TMPDIR="$scratch/tmp" \
            "$ostrel" "$list"
) </dev/null >"$aux/ostrel.out" 2>"$aux/ostrel.err" &
ostrel_pid=$!
ostrel_alive() { kill -0 "$ostrel_pid" 2>/dev/null; }

# --- the first pass's records ---------------------------------------------------------
record_count() {
    if [[ -f "$log" ]]; then grep -c $'\r$' "$log"; else echo 0; fi
}
two_records_or_exit() { (($(record_count) >= 2)) || ! ostrel_alive; }
wait_until two_records_or_exit || fail "no two log records within ${kWaitSeconds} s (log: $(cat "$log" 2>/dev/null))"
ostrel_alive || fail "ostrel ended before Esc"
note "log records:"
sed 's/\r$/<CR>/' "$log"

check_records() {
    local when='[0-9]{2}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}'
    local -a lines
    mapfile -t lines <"$log"
    ((${#lines[@]} == 2)) || fail "the log holds ${#lines[@]} lines, not 2"
    [[ "${lines[0]}" =~ ^$when,\ 1,\ \"127\.0\.0\.1\",\ 1,\ $listen_port$'\r'$ ]] ||
        fail "first record is not a success for port $listen_port: ${lines[0]}"
    [[ "${lines[1]}" =~ ^$when,\ 0,\ \"127\.0\.0\.1\",\ 1,\ $refused_port$'\r'$ ]] ||
        fail "second record is not a failure for port $refused_port: ${lines[1]}"
    [[ "$(tail -c 2 "$log" | od -An -c | tr -d ' ')" == '\r\n' ]] ||
        fail "the log does not end with CR LF"
}
check_records

# --- find the window, focus it, press Esc ----------------------------------------------
# xdotool's name match ignores case, so the exact title and the owner are
# checked here.
find_window() {
    local w
    for w in $(xdotool search --onlyvisible --name '^Ostrel$' 2>/dev/null); do
        [[ "$(xdotool getwindowname "$w" 2>/dev/null)" == Ostrel &&
            "$(xdotool getwindowpid "$w" 2>/dev/null)" == "$ostrel_pid" ]] && { echo "$w"; return 0; }
    done
    return 1
}
timeout "$kWaitSeconds" xdotool search --sync --onlyvisible --name '^Ostrel$' >/dev/null ||
    fail "no visible window named Ostrel within ${kWaitSeconds} s"
window_found() { window=$(find_window); }
wait_until window_found || fail "no window titled exactly 'Ostrel' belongs to ostrel ($ostrel_pid)"
note "window $window"

# Without a window manager the window is activated by giving it the input
# focus; the key then goes through the server's input path (XTEST) as a key
# typed on a keyboard would, not as an event sent to one window.
timeout "$kWaitSeconds" xdotool windowfocus --sync "$window" || fail "cannot focus window $window"
[[ "$(xdotool getwindowfocus)" == "$window" ]] || fail "window $window did not take the focus"
xdotool key Escape || fail "xdotool could not press Esc"

# --- the process ends, having written nothing else -------------------------------------
ostrel_gone() { ! ostrel_alive; }
wait_until ostrel_gone || fail "ostrel still runs ${kWaitSeconds} s after Esc"
wait "$ostrel_pid"
status=$?
ostrel_pid=""
((status == 0)) || fail "ostrel exited with status $status"
note "ostrel exited with status 0 after Esc"

[[ "$(ls -A "$list_dir" | LC_ALL=C sort | tr '\n' ' ')" == "ostrel.log targets.osl " ]] ||
    fail "the list's folder holds: $(ls -A "$list_dir" | tr '\n' ' ')"
cmp -s "$list" "$aux/targets.osl.orig" || fail "the list file changed"
check_records
for d in run home runtime tmp; do
    [[ -z "$(ls -A "$scratch/$d")" ]] || fail "ostrel wrote into its $d folder: $(ls -A "$scratch/$d" | tr '\n' ' ')"
done
xdotool search --onlyvisible --name '^Ostrel$' >/dev/null 2>&1 && fail "a window named Ostrel is still shown"

echo "PASS: two records logged, Esc closed the window, only the log was written"
