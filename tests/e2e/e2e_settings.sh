#!/usr/bin/env bash
# The settings page's auto-start options on a real X server: clicking the
# check box and the "once a day" option writes the value store and the
# autostart entry; a restart shows the same options again; unchecking the
# box removes the entry and turns the automatic change off.
# Arguments: the staged program folder, the build folder.

# The checks are small functions that e2e_expect calls by name.
# shellcheck disable=SC2317
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init "$@"

readonly WINDOW_W=799 WINDOW_H=599
readonly START_SECONDS=60 # a sanitizer build starts slowly
# Window coordinates: the settings page stands at 20,88 and its upper box at
# 20,12 inside it; the check box and the options lie in that box.
readonly SETTINGS_TAB_X=$((261 + 56)) SETTINGS_TAB_Y=$((53 + 15))
readonly BOX_X=$((20 + 20)) BOX_Y=$((88 + 12))
readonly AUTORUN_X=$((BOX_X + 42 + 8)) AUTORUN_Y=$((BOX_Y + 26 + 9))
readonly DAILY_X=$((BOX_X + 287 + 8)) DAILY_Y=$((BOX_Y + 51 + 9))

e2e_start_session 1280x800x24
e2e_copy_program
STORE=$E2E_HOME/.config/Nimbra-Wallpaper/values.reg
ENTRY=$E2E_HOME/.config/autostart/Nimbra-Wallpaper.desktop

start_and_open_settings() {
  e2e_start_program
  main=$(e2e_wait_window "$START_SECONDS" "$E2E_PROGRAM_PID" "$WINDOW_W" "$WINDOW_H") ||
    e2e_abort "no ${WINDOW_W}x${WINDOW_H} window appeared (log: $E2E_PROGRAM_LOG)"
  read -r win_x win_y _ _ <<<"$(e2e_geometry "$main")"
  sleep 1
  e2e_click $((win_x + SETTINGS_TAB_X)) $((win_y + SETTINGS_TAB_Y))
  sleep 0.5
}

click_in_window() {
  e2e_click $((win_x + $1)) $((win_y + $2))
  sleep 0.5
}

close_program() {
  e2e_click $((win_x + 766 + 12)) $((win_y + 10 + 12))
  e2e_wait_program_exit 20 || e2e_abort "the close button did not end the program"
}

# The options box as it is on the screen now, as NAME.png.
shoot_options() {
  local shot
  shot=$(e2e_screenshot "$1-screen") || return 1
  convert "$shot" -crop "737x89+$((win_x + BOX_X))+$((win_y + BOX_Y))" +repage "$E2E_OUT/$1.png"
}

stored() { grep -F "\"$1\"=" "$STORE" 2>/dev/null; }
has_value() { stored "$1" >/dev/null; }
stored_is() { [[ $(stored "$1") == "\"$1\"=$2" ]]; }
entry_exec() { sed -n 's/^Exec=//p' "$ENTRY" 2>/dev/null; }
entry_ends_in() { [[ $(entry_exec) == *" $1" ]]; }
entry_names_this_copy() { [[ $(entry_exec) == "\"$E2E_APP_DIR/NimbraWallpaper\" "* ]]; }
no_entry() { [[ ! -e $ENTRY ]]; }
entry_is_valid() { ! command -v desktop-file-validate >/dev/null || desktop-file-validate "$ENTRY"; }
same_picture() { [[ $(compare -metric AE "$E2E_OUT/$1.png" "$E2E_OUT/$2.png" null: 2>&1) == 0 ]]; }
different_picture() { ! same_picture "$@"; }

# --- a first start: nothing stored yet

start_and_open_settings
e2e_expect "the first start stores mode 3" stored_is AutoChange dword:00000003
e2e_expect "the first start stores position 1" stored_is current dword:00000001
e2e_expect "the first start stores this start's time" has_value Lasttime
e2e_expect "the first start writes no autostart entry" no_entry
shoot_options first-start

click_in_window "$AUTORUN_X" "$AUTORUN_Y"
e2e_expect "checking the box writes the autostart entry" test -f "$ENTRY"
e2e_expect "the entry names this copy of the program" entry_names_this_copy
e2e_expect "the entry ends in the stored mode, -3" entry_ends_in -3
e2e_expect "the entry passes desktop-file-validate" entry_is_valid

click_in_window "$DAILY_X" "$DAILY_Y"
e2e_expect "choosing once a day stores mode 2" stored_is AutoChange dword:00000002
e2e_expect "choosing once a day ends the entry in -2" entry_ends_in -2
shoot_options daily-chosen
e2e_expect "the options look different after the clicks" different_picture first-start daily-chosen
close_program

# --- a restart shows the same choice

start_and_open_settings
e2e_expect "a restart keeps mode 2" stored_is AutoChange dword:00000002
e2e_expect "a restart keeps the entry ending in -2" entry_ends_in -2
shoot_options restarted
e2e_expect "a restart shows the same options" same_picture daily-chosen restarted

# --- unchecking the box turns everything off

click_in_window "$AUTORUN_X" "$AUTORUN_Y"
e2e_expect "unchecking the box removes the entry" no_entry
e2e_expect "unchecking the box stores mode 3" stored_is AutoChange dword:00000003
shoot_options unchecked
e2e_expect "unchecked, the options look as at the first start" same_picture first-start unchecked
close_program

e2e_finish
