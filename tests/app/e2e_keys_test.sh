#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# End to end: the window's keys on a private X server (Xvfb), in a private
# network namespace where 127.0.0.1 ignores echo requests.
#   e2e_keys_test.sh OSTREL OSTREL_CLI
# Ping Now is clicked on a list of one silent ICMP target. During the pass,
# Enter (on Save List, which took the focus from the disabled Ping Now) and
# Esc in the main window and Esc in the progress window start nothing: no
# other window opens, the progress window stays up, the pass returns after its
# 10 s and the program goes on. Then 20 typed into the period field and Alt+S
# save a list whose period is 20.
# Exits 0 on success, 1 on failure, 77 (skip) without a namespace or X server.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/xvfb_session.sh"
ostrel=$1 cli=$2
readonly kProgressTitle="Checking connections.  Please wait..."

if [[ -z "${OSTREL_E2E_NETNS:-}" ]]; then
    unshare -n true 2>/dev/null || skip "no private network namespace (needs root)"
    exec unshare -n env OSTREL_E2E_NETNS=1 bash "$0" "$@"
fi
ip link set lo up && echo 1 >/proc/sys/net/ipv4/icmp_echo_ignore_all ||
    fail "cannot make 127.0.0.1 silent in the namespace"

begin_session ostrel-e2e-keys list run home runtime tmp aux || fail "$session_problem"
start_xvfb "$scratch/aux" || skip "$session_problem"
list=$scratch/list/silent.osl saved=$scratch/list/saved.osl
"$cli" new "$list" >/dev/null && "$cli" set "$list" --popup off >/dev/null &&
    "$cli" add "$list" --icmp 127.0.0.1 >/dev/null || fail "ostrel-cli could not write the list"
start_isolated "$ostrel" "$list"
window=$(wait_for_window Ostrel "$app_pid" --onlyvisible) || fail "no window titled Ostrel"

# Clicks the centre of a control given in the window's dialog units (313 by 244).
click_control() { # X Y WIDTH HEIGHT
    eval "$(xdotool getwindowgeometry --shell "$window")"
    xdotool mousemove --window "$window" $((($1 + $3 / 2) * WIDTH / 313)) \
        $((($2 + $4 / 2) * HEIGHT / 244)) click 1
}
shown_windows() { xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null | sort; }
progress_gone() { ! find_window "$kProgressTitle" "$app_pid" --onlyvisible >/dev/null; }

click_control 256 52 50 14 # Ping Now
clicked=$SECONDS
progress=$(wait_for_window "$kProgressTitle" "$app_pid" --onlyvisible) || fail "no progress window"
before=$(shown_windows)
press_key "$window" Return && press_key "$window" Escape && press_key "$progress" Escape ||
    fail "$session_problem"
sleep 1
progress_gone && fail "a key ended the pass or hid the progress window"
[[ "$(shown_windows)" == "$before" ]] || fail "a key opened a window during the pass"
wait_until progress_gone || fail "the pass did not return within ${kWaitSeconds} s"
sleep 1
app_alive || fail "a key pressed during the pass ended the program"
[[ "$(shown_windows)" == "$window" ]] || fail "a key opened a window during the pass"
note "Enter and Esc during the pass started nothing; it returned after $((SECONDS - clicked - 1)) s"

click_control 51 139 40 14 # the period field
press_key "$window" ctrl+a && xdotool type 20 && xdotool key alt+s || fail "$session_problem"
dialog=$(wait_for_window "Save As" "$app_pid" --onlyvisible) || fail "Alt+S opened no save dialog"
press_key "$dialog" ctrl+a && xdotool type "$saved" && xdotool key Return || fail "$session_problem"
wait_until test -s "$saved" || fail "nothing was saved"
"$cli" show --json "$saved" | grep -q '"period":20,' || fail "saved: $("$cli" show --json "$saved")"
press_key "$window" Escape && wait_for_app_exit || fail "$session_problem"
echo "PASS: keys during a pass started nothing; Alt+S saved the period typed"
