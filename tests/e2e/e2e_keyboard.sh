#!/usr/bin/env bash
# The program from the keyboard alone, on a bare X11 session: no click at
# all. Down opens the next category, Right twice selects its second
# thumbnail, Enter makes that slot's large picture the root window's
# background, and Ctrl+3 shows the settings page.
# Arguments: the staged program folder, the build folder.

# shellcheck disable=SC2317  # the checks are called by name
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init "$@"
e2e_require compare

readonly WINDOW_W=799 WINDOW_H=599
readonly START_SECONDS=60 # a sanitizer build starts slowly

e2e_start_session 1024x768x24 # 4:3, so the grid shows the normal shape
e2e_copy_program
e2e_start_program
main=$(e2e_wait_window "$START_SECONDS" "$E2E_PROGRAM_PID" "$WINDOW_W" "$WINDOW_H") ||
  e2e_abort "no ${WINDOW_W}x${WINDOW_H} window appeared (log: $E2E_PROGRAM_LOG)"
e2e_wait_until 20 e2e_thumbnails_shown "$main" normal 1 ||
  e2e_abort "the first page of thumbnails did not appear (log: $E2E_PROGRAM_LOG)"

window_has_keyboard() {
  local window
  window=$(e2e_find_window "$E2E_PROGRAM_PID" "$WINDOW_W" "$WINDOW_H")
  [[ -n $window && $(xdotool getactivewindow 2>/dev/null) == "$window" ]]
}
# A new window gets the keyboard from the window manager; asking it again
# is no click either.
window_has_keyboard || xdotool windowactivate --sync "$main" 2>/dev/null
e2e_expect_within 10 "the window has the keyboard" window_has_keyboard

# --- Down opens local category 2

xdotool key Down
e2e_expect_within 20 "Down opens the next category" e2e_thumbnails_shown "$main" normal 2

# --- Right twice selects its second thumbnail; Enter applies it

category=$E2E_APP_DIR/wallpaper/normal/local/2
mapfile -t thumbnails < <(cd "$category" && find . -maxdepth 1 -name 's_*' -printf '%f\n' | LC_ALL=C sort -f)
((${#thumbnails[@]} >= 2)) || e2e_abort "the sample store has fewer than 2 pictures in $category"
second_large=$category/l_${thumbnails[1]#s_}

before=$(e2e_root_pixmap)
xdotool key Right Right Return
e2e_expect_within 20 "Enter sets a new root background" e2e_root_pixmap_changed_from "$before"
e2e_expect_within 20 "the window comes back with the keyboard" window_has_keyboard
e2e_expect_within 10 "the screen shows the second slot's large picture" e2e_screen_shows after-enter "$second_large"

# --- Ctrl+3 shows the settings page

read -r win_x win_y _ _ <<<"$(e2e_geometry "$main")"
readonly SETTINGS_TAB_LEFT=261 TAB_Y=53
marker_colour=$(e2e_pixel_of "$E2E_SOURCE_DIR/resources/skin/tab_marker.png" 8 22)
# The marker stands on the Setting tab, and the upper box's light card shows
# where the wallpaper page's category column was.
settings_page_shown() {
  e2e_colour_near "$(e2e_pixel $((win_x + SETTINGS_TAB_LEFT + 8)) $((win_y + TAB_Y + 22)))" "$marker_colour" 10 &&
    e2e_colour_near "$(e2e_pixel $((win_x + 20 + 20 + 300)) $((win_y + 88 + 12 + 20)))" "234 238 243" 6
}
xdotool key ctrl+3
e2e_expect_within 10 "Ctrl+3 shows the settings page" settings_page_shown
e2e_screenshot settings >/dev/null

e2e_finish
