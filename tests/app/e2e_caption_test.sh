#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# End to end: a message box's caption is the program's own file name.
#   e2e_caption_test.sh OSTREL
# The program and its help file, copied under the name "netwatch", are run on
# a private X server (Xvfb) with one argument naming a list file that does not
# exist. A box captioned exactly "netwatch" reports "Loading PATH failed
# (returned a 0x2)." beside the main window, titled "Ostrel"; Return dismisses
# the box, Esc then closes the window and the process exits with status 0.
# Exits 0 on success, 1 on failure, 77 (skip) when no X server can be started.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/xvfb_session.sh"
ostrel=$1

# bin/ holds the renamed copy; run/, home/, runtime/ and tmp/ are its working
# folder, HOME, XDG_RUNTIME_DIR and TMPDIR; aux/ holds the test's own files.
begin_session ostrel-e2e-caption bin run home runtime tmp aux || fail "$session_problem"
start_xvfb "$scratch/aux" || skip "$session_problem"
note "Xvfb on $DISPLAY"

program=$scratch/bin/netwatch
cp "$ostrel" "$program" && cp "$ostrel.HLP" "$program.HLP" || fail "cannot copy ostrel and its help file"
list="$scratch/no such.osl"
start_isolated "$program" "$list"

box=$(wait_for_window netwatch "$app_pid" --onlyvisible) ||
    fail "no visible window captioned exactly 'netwatch' belongs to the program ($app_pid)"
note "message box $box"
main=$(find_window Ostrel "$app_pid") || fail "the program has no window titled exactly 'Ostrel'"
note "main window $main (shown once the box is gone)"

check_box_text "$box" "Loading $list failed (returned a 0x2)." || fail "$session_problem"

press_key "$box" Return || fail "$session_problem"
main=$(wait_for_window Ostrel "$app_pid" --onlyvisible) ||
    fail "the main window did not show after Return"
find_window netwatch "$app_pid" --onlyvisible >/dev/null && fail "the box is still shown after Return"
press_key "$main" Escape || fail "$session_problem"
wait_for_app_exit || fail "after Esc, $session_problem"
((app_status == 0)) || fail "the program exited with status $app_status"
[[ ! -e "$list" ]] || fail "the program made the list file"

echo "PASS: the box captioned 'netwatch' reported the missing list; Return and Esc ended the program"
