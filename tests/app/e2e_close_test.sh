#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# End to end: closing, help and the information options of the real program.
#   e2e_close_test.sh OSTREL OSTREL_CLI
# "--help" and "--version" answer without a display. On Xvfb: a target added
# with Add; Help opens centred over the main window; Esc asks "Save changes to
# the list before closing?", and Return (Save) leads to the save dialog, whose
# list holds the target. (Esc with nothing changed but a pass's results ends
# at once in e2e_autostart.)
# Exits 0 on success, 1 on failure, 77 (skip) when no X server can be started.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/xvfb_session.sh"
ostrel=$1 cli=$2
begin_session ostrel-e2e-close list run home runtime tmp aux || fail "$session_problem"
list=$scratch/list/saved.osl

[[ "$(env -u DISPLAY "$ostrel" --help)" == "Usage: ostrel [LIST-FILE]"* ]] || fail "--help: status $?"
[[ "$(env -u DISPLAY "$ostrel" --version)" == "ostrel 1.0" ]] || fail "--version: status $?"

start_xvfb "$scratch/aux" || skip "$session_problem"
start_isolated "$ostrel"
main=$(wait_for_window Ostrel "$app_pid" --onlyvisible) || fail "no main window"
centred_over() { # INNER OUTER: their centres lie within 10 pixels
    local X Y WIDTH HEIGHT SCREEN WINDOW dx dy
    eval "$(xdotool getwindowgeometry --shell "$1")"
    dx=$((X + WIDTH / 2)) dy=$((Y + HEIGHT / 2))
    eval "$(xdotool getwindowgeometry --shell "$2")"
    dx=$((dx - X - WIDTH / 2)) dy=$((dy - Y - HEIGHT / 2))
    ((dx * dx + dy * dy <= 100))
}
eval "$(xdotool getwindowgeometry --shell "$main")" # "&Add" shares its mnemonic: click it
xdotool mousemove --window "$main" $((WIDTH * 281 / 313)) $((HEIGHT * 29 / 244)) click 1
editor=$(wait_for_window Dialog "$app_pid" --onlyvisible) || fail "Add opened no editor"
xdotool type 127.0.0.1 && press_key "$editor" Return || fail "cannot fill in the editor"

press_key "$main" alt+h || fail "$session_problem"
help=$(wait_for_window "Ostrel Help" "$app_pid" --onlyvisible) || fail "Alt+H opened no help window"
centred_over "$help" "$main" || fail "the help window is not centred over the main window"

press_key "$main" Escape || fail "$session_problem"
box=$(wait_for_window ostrel "$app_pid" --onlyvisible) || fail "Esc after a change asked nothing"
check_box_text "$box" "Save changes to the list before closing?" || fail "$session_problem"
press_key "$box" Return || fail "$session_problem"
sleep 1 # the save dialog has the focus
xdotool type "$list" && xdotool key Return || fail "cannot answer the save dialog"
wait_for_app_exit || fail "after Save, $session_problem"
"$cli" show "$list" | grep -q 127.0.0.1 || fail "the saved list lacks the target"

echo "PASS: --help/--version; help centred; Esc asked, Save wrote; program ended"
