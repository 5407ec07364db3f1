#!/usr/bin/env bash
# "Set as Desktop Wallpaper" on a bare X11 session (Xvfb and openbox, no
# desktop named): with no slot selected the "Attention" box appears and the
# background stays; a selected slot's large picture becomes the root window's
# background, stretched to the screen; a double click on a thumbnail applies
# it too; the window comes back each time.
# Arguments: the staged program folder, the build folder.

# The checks are small functions that e2e_expect calls by name.
# shellcheck disable=SC2317
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init "$@"
e2e_require compare

readonly WINDOW_W=799 WINDOW_H=599
readonly START_SECONDS=60 # a sanitizer build starts slowly
readonly SCREEN_W=1024 SCREEN_H=768 # 4:3, so the grid shows the normal shape

e2e_start_session ${SCREEN_W}x${SCREEN_H}x24
e2e_copy_program
e2e_start_program
main=$(e2e_wait_window "$START_SECONDS" "$E2E_PROGRAM_PID" "$WINDOW_W" "$WINDOW_H") ||
  e2e_abort "no ${WINDOW_W}x${WINDOW_H} window appeared (log: $E2E_PROGRAM_LOG)"
e2e_wait_until 20 e2e_thumbnails_shown "$main" normal 1 ||
  e2e_abort "the first page of thumbnails did not appear (log: $E2E_PROGRAM_LOG)"
read -r win_x win_y _ _ <<<"$(e2e_geometry "$main")"

# --- where things are: the wallpaper page, Panel1 and the slots inside it

readonly PAGE_X=20 PAGE_Y=88 PANEL_X=194 PANEL_Y=5
slot_centre() {
  local lefts=(18 197 376) tops=(29 205) n=$(($1 - 1))
  echo "$((win_x + PAGE_X + PANEL_X + lefts[n % 3] + 9 + 72)) $((win_y + PAGE_Y + PANEL_Y + tops[n / 3] + 18 + 55))"
}
# shellcheck disable=SC2046  # the centre is two words on purpose
press_set_wallpaper() { e2e_click $((win_x + PAGE_X + 539 + 104)) $((win_y + PAGE_Y + 430 + 15)); }
# shellcheck disable=SC2046
select_slot() { e2e_click $(slot_centre "$1"); }
# shellcheck disable=SC2046
double_click_slot() { e2e_double_click $(slot_centre "$1"); }

# Local category 1 lists its thumbnails in case-insensitive name order; a
# slot's large picture is its thumbnail's "l_" twin.
category=$E2E_APP_DIR/wallpaper/normal/local/1
mapfile -t thumbnails < <(cd "$category" && find . -maxdepth 1 -name 's_*' -printf '%f\n' | LC_ALL=C sort -f)
((${#thumbnails[@]} >= 3)) || e2e_abort "the sample store has fewer than 3 pictures in $category"
large_of_slot() { echo "$category/l_${thumbnails[$1 - 1]#s_}"; }

# --- what the root window shows

window_back() { [[ -n $(e2e_find_window "$E2E_PROGRAM_PID" "$WINDOW_W" "$WINDOW_H") ]]; }
# screen_shows_slot NAME SLOT: a new screenshot, NAME.png, shows the slot's picture.
screen_shows_slot() { e2e_screen_shows "$1" "$(large_of_slot "$2")"; }

# --- no slot selected: the "Attention" box, and nothing changes

before=$(e2e_root_pixmap)
press_set_wallpaper
attention_box() {
  local window
  window=$(xdotool search --all --onlyvisible --pid "$E2E_PROGRAM_PID" --name '^Attention' 2>/dev/null | head -n1)
  [[ -n $window ]] && echo "$window"
}
box=$(e2e_wait_until 10 attention_box) || box=""
e2e_expect "with no slot selected the Attention box appears" test -n "$box"
e2e_screenshot choose-first >/dev/null
if [[ -n $box ]]; then
  xdotool windowactivate --sync "$box" 2>/dev/null
  xdotool key Return
  box_gone() { ! attention_box >/dev/null; }
  e2e_expect_within 10 "the Attention box closes with its OK button" box_gone
fi
unchanged() { [[ $(e2e_root_pixmap) == "$before" ]]; }
e2e_expect "with no slot selected the background stays as it was" unchanged

# --- a selected slot and the button

before=$(e2e_root_pixmap)
select_slot 2
press_set_wallpaper
e2e_expect_within 20 "the button sets a new root background" e2e_root_pixmap_changed_from "$before"
e2e_expect_within 20 "the window comes back after the button" window_back
e2e_expect_within 10 "the screen shows slot 2's large picture, stretched" screen_shows_slot after-button 2

# --- a double click on another thumbnail

before=$(e2e_root_pixmap)
double_click_slot 3
e2e_expect_within 20 "a double click sets a new root background" e2e_root_pixmap_changed_from "$before"
e2e_expect_within 20 "the window comes back after the double click" window_back
e2e_expect_within 10 "the screen shows slot 3's large picture, stretched" screen_shows_slot after-double-click 3

e2e_finish
