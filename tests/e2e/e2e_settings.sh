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
e2e_require compare desktop-file-validate

readonly WINDOW_W=799 WINDOW_H=599
readonly START_SECONDS=60 # a sanitizer build starts slowly
# Window coordinates: the settings page stands at 20,88 and its upper box at
# 20,12 inside it; the check box and the options lie in that box.
readonly SETTINGS_TAB_LEFT=261 TAB_Y=53
readonly SETTINGS_TAB_X=$((SETTINGS_TAB_LEFT + 56)) SETTINGS_TAB_Y=$((TAB_Y + 15))
readonly BOX_X=$((20 + 20)) BOX_Y=$((88 + 12))
readonly AUTORUN_X=$((BOX_X + 42 + 8)) AUTORUN_Y=$((BOX_Y + 26 + 9))
readonly DAILY_X=$((BOX_X + 287 + 8)) DAILY_Y=$((BOX_Y + 51 + 9))

e2e_start_session 1280x800x24
e2e_copy_program
STORE=$E2E_HOME/.config/Nimbra-Wallpaper/values.reg
ENTRY=$E2E_HOME/.config/autostart/Nimbra-Wallpaper.desktop

# The tab marker stands on the tab of the page shown.
marker_colour=$(e2e_pixel_of "$E2E_SOURCE_DIR/resources/skin/tab_marker.png" 8 22)
settings_page_shown() {
  e2e_colour_near "$(e2e_pixel $((win_x + SETTINGS_TAB_LEFT + 8)) $((win_y + TAB_Y + 22)))" "$marker_colour" 10
}

# The program opens on the wallpaper page; its thumbnails showing is the
# sign that the window takes clicks. The settings page is shown once the
# tab marker has moved and the page has stopped painting.
start_and_open_settings() {
  e2e_start_program
  main=$(e2e_wait_window "$START_SECONDS" "$E2E_PROGRAM_PID" "$WINDOW_W" "$WINDOW_H") ||
    e2e_abort "no ${WINDOW_W}x${WINDOW_H} window appeared (log: $E2E_PROGRAM_LOG)"
  read -r win_x win_y _ _ <<<"$(e2e_geometry "$main")"
  e2e_wait_until 20 e2e_thumbnails_shown "$main" widescreen 1 ||
    e2e_abort "the wallpaper page did not show its thumbnails (log: $E2E_PROGRAM_LOG)"
  e2e_click $((win_x + SETTINGS_TAB_X)) $((win_y + SETTINGS_TAB_Y))
  e2e_wait_until 10 settings_page_shown || e2e_abort "a click on the Setting tab did not show the settings page"
  e2e_wait_steady 10 "$main" || e2e_abort "the settings page kept changing"
}

click_in_window() { e2e_click $((win_x + $1)) $((win_y + $2)); }

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
# options_look_like NAME REFERENCE: shoots the box as NAME and finds it the
# same as the REFERENCE shot.
options_look_like() { shoot_options "$1" && same_picture "$2" "$1"; }
# options_settled_unlike NAME REFERENCE: shoots the box as NAME; it differs
# from REFERENCE and is the same as the previous try's shot, so that a
# repaint under way is not taken as what the clicks led to.
options_settled_unlike() {
  local before=$E2E_OUT/$1-before.png
  [[ -f $E2E_OUT/$1.png ]] && mv "$E2E_OUT/$1.png" "$before"
  shoot_options "$1" && different_picture "$2" "$1" && [[ -f $before ]] && same_picture "$1-before" "$1"
}

stored() { grep -F "\"$1\"=" "$STORE" 2>/dev/null; }
has_value() { stored "$1" >/dev/null; }
stored_is() { [[ $(stored "$1") == "\"$1\"=$2" ]]; }
entry_exec() { sed -n 's/^Exec=//p' "$ENTRY" 2>/dev/null; }
entry_ends_in() { [[ $(entry_exec) == *" $1" ]]; }
entry_names_this_copy() { [[ $(entry_exec) == "\"$E2E_APP_DIR/NimbraWallpaper\" "* ]]; }
no_entry() { [[ ! -e $ENTRY ]]; }
entry_is_valid() { desktop-file-validate "$ENTRY"; }
same_picture() { [[ $(compare -metric AE "$E2E_OUT/$1.png" "$E2E_OUT/$2.png" null: 2>&1) == 0 ]]; }
different_picture() { ! same_picture "$@"; }

# --- a first start: nothing stored yet

start_and_open_settings
e2e_expect_within 10 "the first start stores mode 3" stored_is AutoChange dword:00000003
e2e_expect_within 10 "the first start stores position 1" stored_is current dword:00000001
# The time is stored last, after the start has settled the autostart entry.
e2e_expect_within 10 "the first start stores this start's time" has_value Lasttime
e2e_expect "the first start writes no autostart entry" no_entry
shoot_options first-start

click_in_window "$AUTORUN_X" "$AUTORUN_Y"
e2e_expect_within 10 "checking the box writes the autostart entry" test -f "$ENTRY"
e2e_expect_within 10 "the entry names this copy of the program" entry_names_this_copy
e2e_expect_within 10 "the entry ends in the stored mode, -3" entry_ends_in -3
e2e_expect "the entry passes desktop-file-validate" entry_is_valid

click_in_window "$DAILY_X" "$DAILY_Y"
e2e_expect_within 10 "choosing once a day stores mode 2" stored_is AutoChange dword:00000002
e2e_expect_within 10 "choosing once a day ends the entry in -2" entry_ends_in -2
e2e_expect_within 10 "the options look different after the clicks" options_settled_unlike daily-chosen first-start
close_program

# --- a restart shows the same choice: the settings page showing is the sign
# that the restart has read and rewritten its values

start_and_open_settings
e2e_expect "a restart keeps mode 2" stored_is AutoChange dword:00000002
e2e_expect "a restart keeps the entry ending in -2" entry_ends_in -2
e2e_expect_within 10 "a restart shows the same options" options_look_like restarted daily-chosen

# --- unchecking the box turns everything off

click_in_window "$AUTORUN_X" "$AUTORUN_Y"
e2e_expect_within 10 "unchecking the box removes the entry" no_entry
e2e_expect_within 10 "unchecking the box stores mode 3" stored_is AutoChange dword:00000003
e2e_expect_within 10 "unchecked, the options look as at the first start" options_look_like unchecked first-start
close_program

e2e_finish
