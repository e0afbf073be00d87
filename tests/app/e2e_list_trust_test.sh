#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# End to end: a list from elsewhere does nothing behind the user's back.
#   e2e_list_trust_test.sh OSTREL OSTREL_CLI LOOPBACK_PORTS
# A list with "Start Automatically", logging "Always" into the user's
# ~/.bashrc and an execute alert names a listening and a refusing loopback
# port. Opened, ostrel asks in a box captioned "ostrel" before any pass.
# Declined (Esc): the targets are probed, but nothing is logged and the
# command does not run. Opened again it asks again; allowed (Alt+A): the pass
# logs and the command runs. Opened a third time it asks nothing.
# Exits 0 on success, 1 on failure, 77 (skip) when no X server can be started.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/xvfb_session.sh"
ostrel=$1 cli=$2 loopback_ports=$3

begin_session ostrel-e2e-trust list run home runtime tmp aux || fail "$session_problem"
list=$scratch/list/from-elsewhere.osl log=$scratch/home/.bashrc pwned=$scratch/list/pwned
start_xvfb "$scratch/aux" || skip "$session_problem"
start_loopback_ports "$loopback_ports" listen refuse || fail "$session_problem"
listen_port=${port_numbers[0]} refused_port=${port_numbers[1]}

"$cli" new "$list" >/dev/null &&
    "$cli" set "$list" --popup off --logging always --log-file "$log" --autostart on \
        --execute "touch '$pwned'" >/dev/null &&
    "$cli" add "$list" --tcp "$listen_port" 127.0.0.1 >/dev/null &&
    "$cli" add "$list" --tcp "$refused_port" 127.0.0.1 >/dev/null ||
    fail "ostrel-cli could not write the list"
cp "$list" "$scratch/aux/list.orig" || fail "cannot copy the list"

probes_seen() { # a connection to the listening port, made by a probe
    [[ -n "$(ss -Htan "( dport = :$listen_port )" 2>/dev/null)" ]]
}
records() { if [[ -f "$log" ]]; then grep -c $'\r$' "$log"; else echo 0; fi; }
close_window() {
    local main
    main=$(wait_for_window Ostrel "$app_pid" --onlyvisible) || fail "no main window"
    press_key "$main" Escape || fail "$session_problem"
    wait_for_app_exit || fail "after Esc, $session_problem"
}
answer_box() { # KEY: waits for the question, checks that no pass came first
    local box
    box=$(wait_for_window ostrel "$app_pid" --onlyvisible) || fail "no box captioned 'ostrel' asked"
    [[ ! -e "$log" && ! -e "$pwned" ]] || fail "the list acted before the box was answered"
    press_key "$box" "$1" || fail "$session_problem"
}

# --- declined ---------------------------------------------------------------------
start_isolated "$ostrel" "$list"
answer_box Escape
wait_until probes_seen || fail "the targets were not probed after the box was declined"
sleep 2
[[ ! -e "$log" ]] || fail "declined, the list still logged: $(cat -v "$log")"
[[ ! -e "$pwned" ]] || fail "declined, the list's command still ran"
close_window
note "declined: probed, nothing logged, no command"

# --- asked again, allowed ---------------------------------------------------------
start_isolated "$ostrel" "$list"
answer_box alt+a
has_acted() { (($(records) >= 2)) && [[ -e "$pwned" ]]; }
wait_until has_acted || fail "allowed, the list did not log ($(records) records) and run its command"
close_window
note "allowed: $(records) records, the command ran"

# --- not asked again ----------------------------------------------------------------
rm -f "$pwned"
start_isolated "$ostrel" "$list"
wait_for_window Ostrel "$app_pid" --onlyvisible >/dev/null || fail "no main window the third time"
has_acted_again() { (($(records) >= 4)) && [[ -e "$pwned" ]]; }
wait_until has_acted_again || fail "the allowed list did not act when opened again"
find_window ostrel "$app_pid" --onlyvisible >/dev/null && fail "the allowed list was asked about again"
close_window
cmp -s "$list" "$scratch/aux/list.orig" || fail "the list file changed"
[[ -s "$scratch/home/.config/ostrel/approved-lists" ]] || fail "no approval was kept in ~/.config/ostrel"

echo "PASS: asked before any pass; declined nothing ran or logged; allowed both did, and were not asked about again"
