#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# End to end: the real ostrel window on a private X server (Xvfb).
#   e2e_autostart_test.sh OSTREL OSTREL_CLI LOOPBACK_PORTS
# A list with "Start Automatically" and logging "Always" names two loopback
# TCP targets, one listening and one refusing. Ostrel loads it from its
# arguments and its first pass logs one record per target; Esc then closes the
# window, the process ends, and nothing but the log and the approval of the
# list's log file (asked before the first pass) has been written: the list is
# unchanged byte for byte and the working, runtime and temporary folders the
# program was given are still empty.
# Exits 0 on success, 1 on failure, 77 (skip) when no X server can be started.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/xvfb_session.sh"
ostrel=$1 cli=$2 loopback_ports=$3

# --- folders --------------------------------------------------------------------
# list/ holds the list and the log; run/, home/, runtime/ and tmp/ are the
# program's working folder, HOME, XDG_RUNTIME_DIR and TMPDIR and must stay
# empty; aux/ holds the test's own files.
begin_session ostrel-e2e list run home runtime tmp aux || fail "$session_problem"
list_dir=$scratch/list aux=$scratch/aux
list=$list_dir/targets.osl log=$list_dir/ostrel.log

start_xvfb "$aux" || skip "$session_problem"
note "Xvfb on $DISPLAY"

# --- loopback targets -----------------------------------------------------------
start_loopback_ports "$loopback_ports" listen refuse || fail "$session_problem"
listen_port=${port_numbers[0]} refused_port=${port_numbers[1]}
note "listening port $listen_port, refusing port $refused_port"

# --- the list ---------------------------------------------------------------------
"$cli" new "$list" >/dev/null &&
    "$cli" set "$list" --popup off --logging always --log-file "$log" --autostart on >/dev/null &&
    "$cli" add "$list" --tcp "$listen_port" 127.0.0.1 >/dev/null &&
    "$cli" add "$list" --tcp "$refused_port" 127.0.0.1 >/dev/null ||
    fail "ostrel-cli could not write the list"
cp "$list" "$aux/targets.osl.orig" || fail "cannot copy the list"

# --- run ostrel; allow the list's log file -----------------------------------------
start_isolated "$ostrel" "$list"
box=$(wait_for_window ostrel "$app_pid" --onlyvisible) || fail "ostrel did not ask about the log file"
[[ ! -e "$log" ]] || fail "the list logged before its log file was allowed"
press_key "$box" alt+a || fail "$session_problem"

# --- the first pass's records ---------------------------------------------------------
record_count() {
    if [[ -f "$log" ]]; then grep -c $'\r$' "$log"; else echo 0; fi
}
two_records_or_exit() { (($(record_count) >= 2)) || app_gone; }
wait_until two_records_or_exit || fail "no two log records within ${kWaitSeconds} s (log: $(cat "$log" 2>/dev/null))"
app_alive || fail "ostrel ended before Esc"
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

# --- find the window, press Esc, the process ends ------------------------------------
window=$(wait_for_window Ostrel "$app_pid" --onlyvisible) ||
    fail "no visible window titled exactly 'Ostrel' belongs to ostrel ($app_pid)"
note "window $window"
press_key "$window" Escape || fail "$session_problem"
wait_for_app_exit || fail "after Esc, $session_problem"
((app_status == 0)) || fail "ostrel exited with status $app_status"
note "ostrel exited with status 0 after Esc"

# --- having written nothing but the log -------------------------------------------------
[[ "$(ls -A "$list_dir" | LC_ALL=C sort | tr '\n' ' ')" == "ostrel.log targets.osl " ]] ||
    fail "the list's folder holds: $(ls -A "$list_dir" | tr '\n' ' ')"
cmp -s "$list" "$aux/targets.osl.orig" || fail "the list file changed"
check_records
[[ "$(cd "$scratch/home" && find . -type f)" == "./.config/ostrel/approved-lists" ]] ||
    fail "ostrel wrote into its home folder: $(cd "$scratch/home" && find . -type f | tr '\n' ' ')"
for d in run runtime tmp; do
    [[ -z "$(ls -A "$scratch/$d")" ]] || fail "ostrel wrote into its $d folder: $(ls -A "$scratch/$d" | tr '\n' ' ')"
done
xdotool search --onlyvisible --name '^Ostrel$' >/dev/null 2>&1 && fail "a window named Ostrel is still shown"

echo "PASS: the log file allowed, two records logged, Esc closed the window, only the log and the approval were written"
