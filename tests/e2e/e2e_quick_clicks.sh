#!/usr/bin/env bash
# A second category clicked while the first one's thumbnails are still being
# decoded: only the second category's pictures fill the grid, they stay, and
# "Set as Desktop Wallpaper" applies the second category's picture. Category
# 2 gets six large BMP thumbnails, slow to decode, named to come first.
# Arguments: the staged program folder, the build folder.

# The checks are small functions that e2e_expect calls by name.
# shellcheck disable=SC2317
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init "$@"

readonly WINDOW_W=799 WINDOW_H=599
readonly START_SECONDS=60 # a sanitizer build starts slowly
readonly SCREEN_W=1024 SCREEN_H=768 # 4:3, so the grid shows the normal shape
readonly SLOW_THUMBNAIL=4000x3000

e2e_start_session ${SCREEN_W}x${SCREEN_H}x24
e2e_copy_program
slow_folder=$E2E_APP_DIR/wallpaper/normal/local/2
for n in 1 2 3 4 5 6; do
  # Amber, the colour family of category 2.
  convert -size "$SLOW_THUMBNAIL" "xc:rgb(230,176,30)" "BMP3:$slow_folder/s_0000$n.bmp" ||
    e2e_abort "cannot paint the slow thumbnails"
  cp "$slow_folder/s_0000$n.bmp" "$slow_folder/l_0000$n.bmp"
done

e2e_start_program
main=$(e2e_wait_window "$START_SECONDS" "$E2E_PROGRAM_PID" "$WINDOW_W" "$WINDOW_H") ||
  e2e_abort "no ${WINDOW_W}x${WINDOW_H} window appeared (log: $E2E_PROGRAM_LOG)"
read -r win_x win_y _ _ <<<"$(e2e_geometry "$main")"

# --- where things are (window coordinates)

readonly PAGE_X=20 PAGE_Y=88 COLUMN_X=$((20 + 3)) COLUMN_Y=$((88 + 12))
slot_centre() { e2e_slot_centre normal "$win_x" "$win_y" "$1"; }
category_link() { echo "$((win_x + COLUMN_X + 61 + 30)) $((win_y + COLUMN_Y + 46 + 27 * ($1 - 1) + 8))"; }

# The six slots as the screen shows them: the category whose colours fill a
# slot's middle, 0 for the white panel, "?" for anything else.
grid_now() {
  local shot n pixel contents=()
  shot=$(e2e_screenshot grid-now) || return 1
  for n in 1 2 3 4 5 6; do
    # shellcheck disable=SC2046  # the centre is two words on purpose
    pixel=$(e2e_pixel_of "$shot" $(slot_centre "$n"))
    if e2e_colour_near "$pixel" "255 255 255" 2; then
      contents+=(0)
    else
      n=$(e2e_sample_category "$pixel")
      contents+=("$([[ $n == 0 ]] && echo "?" || echo "$n")")
    fi
  done
  echo "${contents[*]}"
}
grid_is() { [[ $(grid_now) == "$1" ]]; }
# holds_for SECONDS COMMAND...: the command succeeds at every look for that long.
holds_for() {
  local deadline=$(($(e2e_now_ms) + $1 * 1000))
  shift
  while (($(e2e_now_ms) < deadline)); do
    "$@" || return 1
    sleep 0.2
  done
}

e2e_expect_within 30 "the window opens on category 1" grid_is "1 1 1 1 0 0"

# --- two quick clicks

# shellcheck disable=SC2046
e2e_click $(category_link 2)
sleep 0.1 # the second click comes while the first category is still decoding
# shellcheck disable=SC2046
e2e_click $(category_link 3)
e2e_move $((win_x + 400)) $((win_y + 20))
e2e_expect_within 30 "the second category's pictures fill the grid" grid_is "3 3 3 0 0 0"
e2e_expect "and nothing of the first category turns up later" holds_for 5 grid_is "3 3 3 0 0 0"

# --- what is applied is what is shown

root_pixel() { e2e_pixel 10 $((SCREEN_H / 2)); }
root_shows_category() { [[ $(e2e_sample_category "$(root_pixel)") == "$1" ]]; }
window_back() { [[ -n $(e2e_find_window "$E2E_PROGRAM_PID" "$WINDOW_W" "$WINDOW_H") ]]; }
# shellcheck disable=SC2046
e2e_click $(slot_centre 3)
e2e_click $((win_x + PAGE_X + 539 + 104)) $((win_y + PAGE_Y + 430 + 15))
e2e_expect_within 30 "the applied picture is the second category's" root_shows_category 3
e2e_expect_within 20 "the window comes back" window_back

e2e_finish
