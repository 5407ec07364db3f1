#!/usr/bin/env bash
# A picture for each monitor on a bare X server with two monitors (Xephyr
# with Xinerama, two heads side by side): picture A on all, then B on
# monitor 2 by its number: the left monitor shows A and the right one B.
# An unknown monitor ends with 1 and names the monitors there are. A new
# session (a new X server) whose program starts with it (minimised, as the
# autostart entry starts it) shows both again, and
# the running program takes a picture for monitor 1 by its name from a later
# start, leaving monitor 2 as it was.
# Arguments: the staged program folder, the build folder.

# The checks are small functions that e2e_expect calls by name.
# shellcheck disable=SC2317
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init "$@"
e2e_require Xephyr xwd

readonly SET_SECONDS=60 # a sanitizer build starts slowly
readonly HEAD_W=320 HEAD_H=240

e2e_start_display 800x600x24
HOST_DISPLAY=$DISPLAY
e2e_copy_program

# --- a session of two monitors, nested in the host display

SESSION_PID=""
session_named() { [[ -s $E2E_TMP/session-display ]]; }
session_up() { xprop -display "$SESSION_DISPLAY" -root >/dev/null 2>&1; }
start_session() {
  [[ -n $SESSION_PID ]] && e2e_stop_pid "$SESSION_PID"
  rm -f "$E2E_TMP/session-display"
  DISPLAY=$HOST_DISPLAY Xephyr -displayfd 8 +xinerama -screen ${HEAD_W}x${HEAD_H} -screen ${HEAD_W}x${HEAD_H} \
    -nolisten tcp -noreset 8>"$E2E_TMP/session-display" >>"$E2E_OUT/xephyr.log" 2>&1 &
  SESSION_PID=$!
  e2e_track "$SESSION_PID"
  e2e_wait_until 15 session_named || e2e_abort "Xephyr did not start (see $E2E_OUT/xephyr.log)"
  SESSION_DISPLAY=":$(head -n1 "$E2E_TMP/session-display")"
  e2e_wait_until 15 session_up || e2e_abort "Xephyr does not answer (see $E2E_OUT/xephyr.log)"
  export DISPLAY=$SESSION_DISPLAY
  e2e_log "a session of two monitors on $DISPLAY"
}
start_session

convert -size 64x48 xc:red "$E2E_TMP/A.jpg" && convert -size 64x48 xc:blue "$E2E_TMP/B.jpg" &&
  convert -size 64x48 xc:lime "$E2E_TMP/C.png" || e2e_abort "cannot make the pictures"

# --- what each monitor shows

# The colour at the middle of each monitor, as hex, left first.
monitor_colours() {
  xwd -root -silent 2>/dev/null | convert xwd:- -format \
    "%[hex:p{$((HEAD_W / 2)),$((HEAD_H / 2))}]\n%[hex:p{$((HEAD_W + HEAD_W / 2)),$((HEAD_H / 2))}]\n" info: 2>/dev/null
}
# shows LEFT RIGHT: the monitors show these colours (hex RRGGBB).
shows() {
  local colours
  mapfile -t colours < <(monitor_colours)
  ((${#colours[@]} == 2)) && e2e_hex_colour_near "${colours[0]}" "$1" && e2e_hex_colour_near "${colours[1]}" "$2"
}
readonly RED=FF0000 BLUE=0000FF LIME=00FF00

# --- from the command line, with no program running

e2e_run_command "$SET_SECONDS" --set "$E2E_TMP/A.jpg"
e2e_expect "--set A ends with 0 ($(tail -n1 "$E2E_COMMAND_ERR"))" test "$E2E_COMMAND_STATUS" -eq 0
e2e_expect "both monitors show A" shows $RED $RED

e2e_run_command "$SET_SECONDS" --set "$E2E_TMP/B.jpg" --monitor 2
e2e_expect "--set B --monitor 2 ends with 0 ($(tail -n1 "$E2E_COMMAND_ERR"))" test "$E2E_COMMAND_STATUS" -eq 0
e2e_expect "the left monitor shows A and the right one B" shows $RED $BLUE

e2e_run_command "$SET_SECONDS" --set "$E2E_TMP/C.png" --monitor 3
e2e_expect "--monitor 3 ends with 1" test "$E2E_COMMAND_STATUS" -eq 1
e2e_expect "and names the monitors ($(tail -n1 "$E2E_COMMAND_ERR"))" \
  grep -q "1 1 (${HEAD_W}x${HEAD_H}), 2 2 (${HEAD_W}x${HEAD_H})" "$E2E_COMMAND_ERR"
e2e_expect "and changes nothing" shows $RED $BLUE

# --- a new session: the program puts both back when it starts

start_session
shows_not() { ! shows "$@"; }
e2e_expect "a new X server starts without the pictures" shows_not $RED $BLUE
# In the window manager's iconified state the window leaves the monitors in sight.
e2e_start_window_manager
e2e_start_program -1
e2e_expect_within 60 "the started program shows A on the left and B on the right again" shows $RED $BLUE

# --- the running program takes a later start's picture for one monitor

e2e_run_command "$SET_SECONDS" --set "$E2E_TMP/C.png" --monitor 1
e2e_expect "--set C --monitor 1, handed to the running program, ends with 0 ($(tail -n1 "$E2E_COMMAND_ERR"))" \
  test "$E2E_COMMAND_STATUS" -eq 0
e2e_expect "the left monitor shows C and the right one still B" shows $LIME $BLUE

e2e_run_command 30 --quit
e2e_finish
