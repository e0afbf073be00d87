#!/usr/bin/env bash
# End to end: the keyboard's way through closing, help and the information
# options of the real program.
#   e2e_close_test.sh OSTREL OSTREL_CLI
# "ostrel --help" and "--version" print to standard output and exit 0
# without a display. On a private X server (Xvfb): a target is added with Add
# and the editor; Help opens its window in front of the main window and over
# it; Esc then asks "Save changes to the list before closing?"; Esc on the
# box (Cancel) keeps the window; Esc again and Return (Save) lead to the save
# dialog, and the list written there holds the target. A second run with no
# change ends at once on Esc, without a box.
# Exits 0 on success, 1 on failure, 77 (skip) when no X server can be started.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/xvfb_session.sh"
ostrel=$1 cli=$2

begin_session ostrel-e2e-close list run home runtime tmp aux || fail "$session_problem"
list=$scratch/list/saved.osl

# --- --help and --version: no window, no display needed -----------------------
out=$(env -u DISPLAY "$ostrel" --help) || fail "ostrel --help exited with status $?"
[[ "$out" == "Usage: ostrel [LIST-FILE]"* && "$out" == *"man ostrel"* ]] ||
    fail "ostrel --help printed: $out"
out=$(env -u DISPLAY "$ostrel" --version) || fail "ostrel --version exited with status $?"
[[ "$out" == "ostrel 1.0" ]] || fail "ostrel --version printed: $out"
note "--help and --version answered"

start_xvfb "$scratch/aux" || skip "$session_problem"
note "Xvfb on $DISPLAY"
start_isolated "$ostrel"
main=$(wait_for_window Ostrel "$app_pid" --onlyvisible) || fail "no main window"

# --- a change: a target added --------------------------------------------------
# "&Add" shares its mnemonic with "&About": the button is clicked instead.
eval "$(xdotool getwindowgeometry --shell "$main")" # WIDTH, HEIGHT; the template is 313 by 244
xdotool mousemove --window "$main" $((WIDTH * 281 / 313)) $((HEIGHT * 29 / 244)) click 1 ||
    fail "cannot click Add"
editor=$(wait_for_window Dialog "$app_pid" --onlyvisible) || fail "Add opened no editor"
xdotool type --delay 20 127.0.0.1 && press_key "$editor" Return || fail "cannot fill in the editor"
editor_gone() { ! find_window Dialog "$app_pid" --onlyvisible >/dev/null; }
wait_until editor_gone || fail "the editor did not close on Return"

# --- Help: in front of the main window, centred over it ---------------------
# xwininfo lists the top-level windows from the top of the stack down.
press_key "$main" alt+h || fail "$session_problem"
help=$(wait_for_window "Ostrel Help" "$app_pid" --onlyvisible) || fail "Alt+H opened no help window"
above() { # UPPER LOWER: UPPER comes first among the root's children
    local order
    order=$(xwininfo -root -children | grep -oE '^ +0x[0-9a-f]+' | tr -d ' ')
    (($(grep -nx "$(printf '0x%x' "$1")" <<<"$order" | cut -d: -f1) <
        $(grep -nx "$(printf '0x%x' "$2")" <<<"$order" | cut -d: -f1)))
}
above "$help" "$main" || fail "the help window is behind the main window"
centred_over() { # INNER OUTER: their centres lie within 10 pixels of each other
    local X Y WIDTH HEIGHT SCREEN WINDOW cx cy
    eval "$(xdotool getwindowgeometry --shell "$1")"
    cx=$((X + WIDTH / 2)) cy=$((Y + HEIGHT / 2))
    eval "$(xdotool getwindowgeometry --shell "$2")"
    cx=$((cx - X - WIDTH / 2)) cy=$((cy - Y - HEIGHT / 2))
    ((cx * cx + cy * cy <= 100))
}
centred_over "$help" "$main" || fail "the help window is not centred over the main window"
note "the help window is on top, over the main window"

# --- Esc: the question ------------------------------------------------------------
ask() { # presses Esc in the main window; sets box to the question
    press_key "$main" Escape || fail "$session_problem"
    box=$(wait_for_window ostrel "$app_pid" --onlyvisible) || fail "Esc after a change asked nothing"
}
ask
check_box_text "$box" "Save changes to the list before closing?" || fail "$session_problem"
press_key "$box" Escape || fail "$session_problem"
box_gone() { ! find_window ostrel "$app_pid" --onlyvisible >/dev/null; }
wait_until box_gone || fail "Esc did not cancel the question"
sleep 0.5
app_alive && find_window Ostrel "$app_pid" --onlyvisible >/dev/null || fail "Cancel did not keep the window"
note "Cancel kept the window"

ask
press_key "$box" Return || fail "$session_problem"
save_dialog() {
    local w name
    for w in $(xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null); do
        name=$(xdotool getwindowname "$w" 2>/dev/null)
        [[ -n "$name" && "$name" != Ostrel && "$name" != "Ostrel Help" && "$name" != ostrel ]] &&
            { echo "$w"; return 0; }
    done
    return 1
}
dialog=$(wait_until save_dialog && save_dialog) || fail "Save showed no save dialog"
timeout "$kWaitSeconds" xdotool windowfocus --sync "$dialog" && xdotool type --delay 20 "$list" &&
    xdotool key Return || fail "cannot answer the save dialog"
wait_for_app_exit || fail "after Save, $session_problem"
((app_status == 0)) || fail "the program exited with status $app_status"
"$cli" show "$list" | grep -q 127.0.0.1 || fail "the saved list lacks the target: $("$cli" show "$list" 2>&1)"
note "Save wrote the list and the program ended"

# --- nothing changed: Esc ends at once --------------------------------------------
start_isolated "$ostrel" "$list"
main=$(wait_for_window Ostrel "$app_pid" --onlyvisible) || fail "no main window on the second run"
press_key "$main" Escape || fail "$session_problem"
escaped=$(date +%s%N)
wait_for_app_exit || fail "with nothing changed, $session_problem"
note "with nothing changed the program ended $((($(date +%s%N) - escaped) / 1000000)) ms after Esc"
((app_status == 0)) || fail "the program exited with status $app_status"

echo "PASS: --help/--version answered; help in front; Esc asked, Cancel kept, Save wrote; unchanged Esc ended"
