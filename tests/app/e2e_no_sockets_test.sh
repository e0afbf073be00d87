#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# End to end: without IPv4 sockets the program says so and ends.
#   e2e_no_sockets_test.sh OSTREL DENY_INET_SOCKETS
# The program is run on a private X server (Xvfb) under deny_inet_sockets, so
# that it cannot create an IPv4 socket (its X connection, a local socket,
# still works). A box captioned exactly "ostrel" says "Windows sockets
# initialization failed."; Return dismisses it and the process ends. The main
# window, titled "Ostrel", never appears: not while the box is up, nor before
# or after it.
# Exits 0 on success, 1 on failure, 77 (skip) when no X server can be started
# or the socket filter does not work on this machine.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/xvfb_session.sh"
ostrel=$1 deny=$2
readonly kMainTitle=Ostrel

# run/, home/, runtime/ and tmp/ are the program's working folder, HOME,
# XDG_RUNTIME_DIR and TMPDIR; aux/ holds the test's own files.
begin_session ostrel-e2e-no-sockets run home runtime tmp aux || fail "$session_problem"
watch_pid=""
trap 'stop_process "$watch_pid"; end_session' EXIT

# The filter itself: bash opening /dev/udp/127.0.0.1/9 creates an IPv4 socket
# (a UDP connect, which sends nothing), so it must fail under the filter.
"$deny" true
case $? in
0) ;;
"$kSkip") skip "deny_inet_sockets cannot filter sockets on this machine" ;;
*) fail "deny_inet_sockets could not run 'true'" ;;
esac
bash -c ': >/dev/udp/127.0.0.1/9' 2>/dev/null || skip "this machine has no IPv4 sockets at all"
denied=$("$deny" bash -c ': >/dev/udp/127.0.0.1/9' 2>&1) && fail "an IPv4 socket opened under the filter"
[[ "$denied" == *"Address family not supported"* ]] ||
    fail "the IPv4 socket failed for another reason: $denied"
note "under the filter an IPv4 socket fails: ${denied##*: }"

start_xvfb "$scratch/aux" || skip "$session_problem"
note "Xvfb on $DISPLAY"
start_isolated "$deny" "$ostrel"

# Looks for the main window every 0.1 s for as long as the program runs, to
# catch one that is shown and taken down again between the steps below; the
# first one seen is written to aux/main_seen. Any window of the program
# counts, shown or not.
watch_for_main_window() {
    local deadline=$((SECONDS + 3 * kWaitSeconds)) w
    while kill -0 "$app_pid" 2>/dev/null && ((SECONDS < deadline)); do
        if w=$(find_window "$kMainTitle" "$app_pid"); then
            echo "$w" >"$scratch/aux/main_seen"
            return
        fi
        sleep 0.1
    done
}
watch_for_main_window &
watch_pid=$!
no_main_window() { # WHEN
    local w
    if w=$(find_window "$kMainTitle" "$app_pid"); then
        fail "$1, the program has a window titled '$kMainTitle' ($w)"
    fi
}

box=$(wait_for_window ostrel "$app_pid" --onlyvisible) ||
    fail "no visible window captioned exactly 'ostrel' belongs to the program ($app_pid)"
note "message box $box"
no_main_window "while the box is up"

check_box_text "$box" "Windows sockets initialization failed." || fail "$session_problem"
no_main_window "while the box is still up"

press_key "$box" Return || fail "$session_problem"
wait_for_app_exit || fail "after Return, $session_problem"
note "after Return the program exited with status $app_status"
wait "$watch_pid"
watch_pid=""
[[ ! -s "$scratch/aux/main_seen" ]] ||
    fail "a window titled '$kMainTitle' appeared ($(cat "$scratch/aux/main_seen"))"

echo "PASS: without IPv4 sockets the box captioned 'ostrel' reported the failure, no main" \
    "window ever appeared, and Return ended the program (status $app_status)"
