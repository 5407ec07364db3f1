#!/usr/bin/env bash
# A desktop that does not answer, and one with no way to set a wallpaper, on
# a session that names GNOME: the program's own gsettings stand-in first on
# PATH sleeps for a minute. The tray menu's "Next wallpaper" returns at once,
# the window comes up and is painted at once while the desktop hangs, and
# within 25 s the attempt ends with a message that names the 20 s deadline,
# with the stand-in killed. Without gsettings at all, "Next wallpaper" and
# --next say that the wallpaper cannot be set. Nothing crashes.
# Arguments: the staged program folder, the build folder.

# The checks are small functions that e2e_expect calls by name.
# shellcheck disable=SC2317
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init "$@"

readonly WINDOW_W=799 WINDOW_H=599
readonly START_SECONDS=60 # a sanitizer build starts slowly

e2e_start_session 1280x800x24
e2e_copy_program

# --- the desktops

SLOW_BIN=$E2E_TMP/slow-bin
GSETTINGS_PIDS=$E2E_TMP/gsettings.pids
mkdir -p "$SLOW_BIN" || e2e_abort "cannot make $SLOW_BIN"
cat >"$SLOW_BIN/gsettings" <<STANDIN
#!/bin/sh
echo \$\$ >>"$GSETTINGS_PIDS"
exec sleep 60
STANDIN
chmod +x "$SLOW_BIN/gsettings"

# desktop_program NAME PATH: a start of the copy on a GNOME session with
# that PATH.
desktop_program() {
  cat >"$E2E_TMP/$1" <<WRAPPER
#!/bin/sh
exec /usr/bin/env XDG_CURRENT_DESKTOP=GNOME PATH="$2" "$E2E_APP_DIR/NimbraWallpaper" "\$@"
WRAPPER
  chmod +x "$E2E_TMP/$1"
  echo "$E2E_TMP/$1"
}
SLOW_PROGRAM=$(desktop_program slow-desktop "$SLOW_BIN:$PATH")
# No gsettings anywhere: the program needs nothing else from PATH.
NO_WAY_PROGRAM=$(desktop_program no-way "$E2E_TMP/empty-bin")
mkdir -p "$E2E_TMP/empty-bin"

# --- the tray menu and the boxes

readonly NEXT=3
# Any window of the program besides the main window and the tray icon: the
# tray menu, or a message box.
main_window() { e2e_find_window "$E2E_PROGRAM_PID" "$WINDOW_W" "$WINDOW_H"; }
other_window() { e2e_other_window "$E2E_PROGRAM_PID" "$(main_window)" "$icon"; }
other_window_gone() { ! other_window >/dev/null; }
tray_next() { e2e_tray_menu_item "$(main_window)" "$icon" "$NEXT"; }

# --- the window

# The main window is mapped and shows the skin, not a blank area.
window_painted() {
  local main x y w h colours
  main=$(main_window) || return 1
  read -r x y w h <<<"$(e2e_geometry "$main")"
  [[ -n ${w:-} ]] || return 1
  colours=$(import -window root -crop "${w}x${h}+$x+$y" +repage -format '%k' info: 2>/dev/null)
  ((${colours:-0} > 50))
}
window_hidden() { ! main_window >/dev/null; }

log_says() { grep -qF "$1" "$E2E_PROGRAM_LOG"; }
stand_in_started() { [[ -s $GSETTINGS_PIDS ]]; }
stand_ins_gone() {
  local pid
  while read -r pid; do kill -0 "$pid" 2>/dev/null && return 1; done <"$GSETTINGS_PIDS"
  return 0
}
message_box_shown() { other_window >/dev/null; }
close_message_box() {
  local box
  box=$(other_window) || return 0
  xdotool windowactivate --sync "$box" 2>/dev/null || xdotool windowfocus --sync "$box" 2>/dev/null
  xdotool key Return
  e2e_wait_until 5 other_window_gone
}

# start_in_tray PROGRAM: the program started in the tray, its event loop running.
start_in_tray() {
  E2E_PROGRAM=$1 e2e_start_program -1
  icon=$(e2e_wait_tray_icon "$START_SECONDS" "$E2E_PROGRAM_PID") || e2e_abort "the tray icon did not appear"
  e2e_wait_until 10 e2e_icon_painted "$icon" || e2e_fail "the tray icon was not painted"
  e2e_wait_until 10 window_hidden || e2e_fail "a start with an argument showed the window"
}

# --- a desktop that does not answer

start_in_tray "$SLOW_PROGRAM"
asked_at=$(e2e_now_ms)
tray_next && e2e_pass "the tray menu closes at once after Next wallpaper"
e2e_expect_within 10 "Next wallpaper asks the desktop (gsettings runs)" stand_in_started

read -r icon_x icon_y <<<"$(e2e_centre "$icon")"
e2e_double_click "$icon_x" "$icon_y"
e2e_expect_within 1 "a double click on the tray icon shows the painted window while the desktop hangs" window_painted
e2e_screenshot window-while-desktop-hangs >/dev/null

E2E_PROGRAM=$SLOW_PROGRAM e2e_run_command 10 --show
e2e_expect "--show is answered while the desktop hangs" test "$E2E_COMMAND_STATUS" -eq 0

deadline_named() { log_says "did not finish within 20 s"; }
remaining=$((25 - ($(e2e_now_ms) - asked_at) / 1000))
e2e_expect_within "$remaining" "within 25 s the attempt ends with a message that names the deadline" deadline_named
e2e_expect_within 5 "the message is shown in a box" message_box_shown
e2e_screenshot deadline-message >/dev/null
e2e_expect_within 5 "the hanging gsettings is killed" stand_ins_gone
close_message_box
e2e_expect "the program still runs after the deadline" e2e_program_running

# A later command is answered once the deadline has ended its attempt.
: >"$GSETTINGS_PIDS"
E2E_PROGRAM=$SLOW_PROGRAM e2e_run_command 40 --next
e2e_expect "--next on a desktop that hangs ends with 1" test "$E2E_COMMAND_STATUS" -eq 1
e2e_expect "--next says the desktop passed the 20 s deadline" grep -qF "did not finish within 20 s" "$E2E_COMMAND_ERR"
close_message_box
e2e_expect "the program still runs after the command" e2e_program_running

E2E_PROGRAM=$SLOW_PROGRAM e2e_run_command 20 --quit
e2e_wait_program_exit 20 || e2e_fail "the program did not end on --quit"

# --- no way to set a wallpaper

start_in_tray "$NO_WAY_PROGRAM"
tray_next && e2e_pass "the tray menu closes after Next wallpaper without a way to set it"
cannot_be_set() { log_says "cannot be set on this desktop"; }
e2e_expect_within 10 "Next wallpaper without gsettings says the wallpaper cannot be set" cannot_be_set
e2e_expect_within 5 "the message is shown in a box" message_box_shown
e2e_screenshot no-way-message >/dev/null
close_message_box
e2e_expect "the program still runs" e2e_program_running
E2E_PROGRAM=$NO_WAY_PROGRAM e2e_run_command 20 --quit
e2e_wait_program_exit 20 || e2e_fail "the program did not end on --quit"

E2E_PROGRAM=$NO_WAY_PROGRAM e2e_run_command 20 --next
e2e_expect "--next without a running program and without a way ends with 1" test "$E2E_COMMAND_STATUS" -eq 1
e2e_expect "--next says the wallpaper cannot be set" grep -qF "cannot be set on this desktop" "$E2E_COMMAND_ERR"

e2e_finish
