#!/usr/bin/env bash
# The rotation list on a bare X11 session (Xvfb and openbox, no desktop
# named): the first start builds "list.dat" from the widescreen folder in
# case-insensitive, depth-first order; the tray menu's "Prev wallpaper" and
# "Next wallpaper" put the neighbouring rows on the root window, wrapping at
# the ends and stepping over a file that has gone; the settings page shows
# the list; Remove and Add (through the real file dialog) rewrite "list.dat".
# Arguments: the staged program folder, the build folder.

# The checks are small functions that e2e_expect calls by name.
# shellcheck disable=SC2317
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init "$@"
e2e_require compare

readonly WINDOW_W=799 WINDOW_H=599
readonly START_SECONDS=60 # a sanitizer build starts slowly
readonly SCREEN_W=1280 SCREEN_H=800 # wider than 3:2, so the list comes from the widescreen folder
# Window coordinates: the settings page stands at 20,88 and its lower box at
# 20,103 inside it; the list, the buttons and the preview lie in that box.
readonly SETTINGS_TAB_X=$((261 + 56)) SETTINGS_TAB_Y=$((53 + 15))
readonly BOX_X=$((20 + 20)) BOX_Y=$((88 + 103))
readonly LIST_X=$((BOX_X + 16)) LIST_Y=$((BOX_Y + 48)) LIST_W=481 LIST_H=296
readonly ADD_X=$((BOX_X + 503 + 53)) ADD_Y=$((BOX_Y + 86 + 15))
readonly REMOVE_X=$((BOX_X + 616 + 53)) REMOVE_Y=$((BOX_Y + 86 + 15))
readonly PREVIEW_X=$((BOX_X + 512)) PREVIEW_Y=$((BOX_Y + 206)) PREVIEW_W=192 PREVIEW_H=120

e2e_start_session ${SCREEN_W}x${SCREEN_H}x24
e2e_copy_program
STORE=$E2E_HOME/.config/Nimbra-Wallpaper/values.reg
LIST=$E2E_APP_DIR/list.dat
PROGRAM_DIR=$(cd "$E2E_APP_DIR" && pwd -P)

e2e_start_program
main=$(e2e_wait_window "$START_SECONDS" "$E2E_PROGRAM_PID" "$WINDOW_W" "$WINDOW_H") ||
  e2e_abort "no ${WINDOW_W}x${WINDOW_H} window appeared (log: $E2E_PROGRAM_LOG)"
icon=$(e2e_wait_tray_icon 10 "$E2E_PROGRAM_PID") || e2e_abort "the tray icon did not appear in the tray"
# A painted icon: the program's event loop runs and takes clicks on it.
e2e_wait_until 10 e2e_icon_painted "$icon" || e2e_fail "the tray icon was not painted"
read -r win_x win_y _ _ <<<"$(e2e_geometry "$main")"

# --- the list the first start builds

# The rotation pictures below a folder, each folder's entries in
# case-insensitive name order, a subfolder's pictures at its place.
rotation_pictures() {
  local folder=$1 name lower
  while IFS=$'\t' read -r _ name; do
    if [[ -d $folder$name ]]; then
      rotation_pictures "$folder$name/"
      continue
    fi
    lower=${name,,}
    [[ $lower == l* && ($lower == *.jpg || $lower == *.bmp) ]] && echo "$folder$name"
  done < <(find "$folder" -mindepth 1 -maxdepth 1 -printf '%f\n' | while IFS= read -r name; do
    printf '%s\t%s\n' "${name,,}" "$name"
  done | LC_ALL=C sort -t $'\t' -k1,1 -k2,2)
}

# The list file as lines, without their CR LF ends.
list_rows() { sed 's/\r$//' "$LIST"; }
every_line_ends_in_crlf() { [[ -s $LIST && $(grep -c $'\r$' "$LIST") == $(wc -l <"$LIST") && $(tail -c1 "$LIST") == "" ]]; }
list_is() { [[ $(list_rows) == "$1" ]]; }
current_is() { grep -qxF "\"current\"=dword:$(printf '%08x' "$1")" "$STORE" 2>/dev/null; }

e2e_wait_until 10 test -s "$LIST" || e2e_abort "the first start wrote no list.dat"
# The start stores its time last, after any change of the wallpaper at start.
start_done() { grep -qF '"Lasttime"=' "$STORE" 2>/dev/null; }
e2e_wait_until 10 start_done || e2e_fail "the first start stored no Lasttime"
expected=$(rotation_pictures "$PROGRAM_DIR/wallpaper/widescreen/")
mapfile -t rows <<<"$expected"
((${#rows[@]} >= 6)) || e2e_abort "the sample store has only ${#rows[@]} rotation pictures"
e2e_expect "list.dat holds the widescreen folder's ${#rows[@]} large pictures, depth first, by name" list_is "$expected"
e2e_expect "every line of list.dat ends in CR LF" every_line_ends_in_crlf
e2e_expect "the first start stores position 1" current_is 1
if ! list_is "$expected"; then
  e2e_log "list.dat holds:"
  list_rows >&2
fi

# --- what the root window shows

# Points of the screen the window leaves free: right of it and below it.
readonly FREE_POINTS=(
  $((SCREEN_W - 40)) 60 $((SCREEN_W - 40)) $((SCREEN_H / 2)) $((SCREEN_W - 100)) $((SCREEN_H - 20))
  $((SCREEN_W / 2)) $((SCREEN_H - 30)) 40 $((SCREEN_H - 20)) 40 $((SCREEN_H / 2))
)

root_pixmap() { xprop -root _XROOTPMAP_ID 2>/dev/null | sed -n 's/.*# *//p'; }
pixmap_changed_from() { [[ -n $(root_pixmap) && $(root_pixmap) != "$1" ]]; }


# all_in_family CATEGORY FILE X Y [X Y...]: every point in that category's colours.
all_in_family() {
  local category=$1 file=$2 pixel
  shift 2
  while read -r pixel; do
    [[ $(e2e_sample_category "$pixel") == "$category" ]] || return 1
  done < <(e2e_pixels_of "$file" "$@")
}

# The sample category of a store picture: the number of its folder.
category_of() {
  local folder=${1%/*}
  echo "${folder##*/}"
}

# root_shows SHOT PICTURE: the free parts of the screen are in the picture's
# colours, and closer to it than to any other picture of its folder.
root_shows() {
  local shot=$1 want=$2
  all_in_family "$(category_of "$want")" "$shot" "${FREE_POINTS[@]}" || {
    e2e_log "the free parts of the screen are not in the colours of ${want##*/}"
    return 1
  }
  e2e_closest_picture_is "$shot" "$want"
}

# screen_shows NAME PICTURE: a new screenshot, NAME.png, shows the picture.
screen_shows() {
  local shot
  shot=$(e2e_screenshot "$1") && root_shows "$shot" "$2"
}
root_is_white() { all_white "$(e2e_screenshot root-at-start)"; }
all_white() {
  local pixel
  while read -r pixel; do e2e_colour_near "$pixel" "255 255 255" 2 || return 1; done < <(e2e_pixels_of "$1" "${FREE_POINTS[@]}")
}
e2e_expect "with automatic change off the start leaves the root window as it was" root_is_white

# --- the tray menu

tray_menu_item() { e2e_tray_menu_item "$main" "$icon" "$1"; }

readonly PREV=2 NEXT=3

# step ITEM DESCRIPTION ROW: the menu item puts row ROW (1-based) on the
# root window and stores it as the current position.
step() {
  local before name=$2
  before=$(root_pixmap)
  tray_menu_item "$1" || return
  e2e_expect_within 20 "$name: the root window gets a new background" pixmap_changed_from "$before"
  e2e_expect_within 10 "$name: the screen shows row $3, ${rows[$3 - 1]##*/}" \
    screen_shows "${name// /-}" "${rows[$3 - 1]}"
  e2e_expect_within 5 "$name: position $3 is stored" current_is "$3"
}

count=${#rows[@]}
step $PREV "prev from the first row" "$count"
step $NEXT "next from the last row" 1
step $NEXT "next" 2
# A file that has gone is stepped over both ways.
gone=${rows[2]}
rm -f "$gone"
step $NEXT "next over a missing row 3" 4
step $PREV "prev over a missing row 3" 2
window_still_shown() { [[ -n $(e2e_find_window "$E2E_PROGRAM_PID" "$WINDOW_W" "$WINDOW_H") ]]; }
e2e_expect "the window stays on the screen through the steps" window_still_shown

# --- the settings page

click_in_window() { e2e_click $((win_x + $1)) $((win_y + $2)); }

# The list's rows of text: selected rows (white on blue) count as well.
list_bands() {
  local shot
  shot=$(e2e_screenshot "$1") || return 1
  # Inside the 2-pixel border, the left part (the paths share their start),
  # above the horizontal scroll bar.
  e2e_text_bands "$shot" $((win_x + LIST_X + 2)) $((win_y + LIST_Y + 2)) 300 $((LIST_H - 4 - 18)) \
    "240 240 240" "0 120 215"
}
shows_rows() {
  local -a bands
  mapfile -t bands < <(list_bands "$1")
  e2e_log "the list shows ${#bands[@]} rows"
  ((${#bands[@]} == $2))
}

preview_points() {
  local x=$((win_x + PREVIEW_X)) y=$((win_y + PREVIEW_Y))
  echo "$((x + PREVIEW_W / 2)) $((y + PREVIEW_H / 2)) $((x + PREVIEW_W / 4)) $((y + PREVIEW_H / 4))" \
    "$((x + 3 * PREVIEW_W / 4)) $((y + 3 * PREVIEW_H / 4))"
}
# The list's selection colour anywhere inside its border.
no_row_selected() {
  local shot mean
  shot=$(e2e_screenshot selection) || return 1
  mean=$(convert "$shot" -crop "$((LIST_W - 4))x$((LIST_H - 4))+$((win_x + LIST_X + 2))+$((win_y + LIST_Y + 2))" \
    +repage -fuzz 5% -fill black +opaque "rgb(0,120,215)" -format '%[fx:mean]' info:)
  awk -v m="$mean" 'BEGIN { exit !(m == 0) }'
}
# Without its picture the preview box shows the black panel behind it.
preview_hidden() {
  local pixel
  # shellcheck disable=SC2046  # the points are words on purpose
  while read -r pixel; do
    e2e_colour_near "$pixel" "0 0 0" 8 || return 1
  done < <(e2e_pixels_of "$(e2e_screenshot preview)" $(preview_points))
}
# shellcheck disable=SC2046  # the points are words on purpose
preview_shows() { all_in_family "$(category_of "$1")" "$(e2e_screenshot preview)" $(preview_points); }

click_in_window "$SETTINGS_TAB_X" "$SETTINGS_TAB_Y"
stored_rows=$(list_rows)
e2e_expect_within 10 "the settings page shows the ${#rows[@]} rows of list.dat" shows_rows settings-page "$count"
e2e_expect "opening the settings page leaves list.dat as it was" list_is "$expected"

# --- Remove: the first row, while row 2 is current

mapfile -t bands < <(list_bands before-remove)
if ((${#bands[@]} > 0)); then
  e2e_click $((win_x + LIST_X + 100)) "${bands[0]}"
  e2e_expect_within 5 "selecting row 1 previews its picture" preview_shows "${rows[0]}"
  click_in_window "$REMOVE_X" "$REMOVE_Y"
  after_remove=$(tail -n +2 <<<"$stored_rows")
  e2e_expect_within 5 "Remove rewrites list.dat without row 1" list_is "$after_remove"
  e2e_expect "list.dat still ends every line in CR LF" every_line_ends_in_crlf
  e2e_expect_within 5 "row 2, current, moves up to position 1" current_is 1
  e2e_expect_within 5 "the list shows one row less" shows_rows after-remove $((count - 1))
  e2e_expect_within 5 "no row is selected after Remove" no_row_selected
  e2e_expect_within 5 "the preview is hidden after Remove" preview_hidden
  click_in_window "$REMOVE_X" "$REMOVE_Y"
  # The program takes clicks in order: once the row clicked after Remove
  # shows in the preview, the second Remove has been dealt with.
  e2e_click $((win_x + LIST_X + 100)) "${bands[0]}"
  e2e_expect_within 5 "selecting the new row 1 previews its picture" preview_shows "$(head -n1 <<<"$after_remove")"
  e2e_expect "a second click on Remove removes nothing" list_is "$after_remove"
else
  e2e_fail "no rows to select in the list"
fi

# --- Add: a picture outside the store, chosen in the file dialog

added_folder="$E2E_TMP/my pictures"
added="$added_folder/Crystal Lake.jpg"
if ! mkdir -p "$added_folder" || ! cp "$E2E_APP_DIR/wallpaper/normal/local/4/l_game-crystal.jpg" "$added"; then
  e2e_abort "cannot make a picture to add"
fi

dialog_window() { e2e_other_window "$E2E_PROGRAM_PID" "$main" "$icon"; }
dialog_gone() { ! dialog_window >/dev/null; }

before_add=$(list_rows)
click_in_window "$ADD_X" "$ADD_Y"
if dialog=$(e2e_wait_until 10 dialog_window); then
  e2e_pass "Add opens a file dialog"
  # Typing goes to the dialog once it has read its folder and painted it.
  e2e_wait_steady 10 "$dialog" || e2e_log "the file dialog kept changing"
  e2e_screenshot file-dialog >/dev/null
  xdotool windowactivate --sync "$dialog" 2>/dev/null || xdotool windowfocus --sync "$dialog"
  # The name field has the focus; a full path in it names the file.
  xdotool type --delay 20 "$added"
  e2e_wait_steady 5 "$dialog" || e2e_log "the file dialog kept changing after typing"
  xdotool key Return
  # A completion list may take the first Return.
  if ! e2e_wait_until 3 dialog_gone; then
    xdotool key Return
  fi
  e2e_expect_within 10 "the file dialog closes" dialog_gone
  # The missing row goes before the dialog opens; the chosen file is appended.
  after_add=$(grep -vxF "$gone" <<<"$before_add")$'\n'$added
  e2e_expect_within 5 "Add rewrites list.dat without the missing file, with the chosen one last" list_is "$after_add"
  e2e_expect "list.dat ends every line in CR LF after Add" every_line_ends_in_crlf
  e2e_expect "dropping a row after the current one keeps position 1" current_is 1
  e2e_expect_within 5 "the list shows the rows of list.dat" shows_rows after-add "$(list_rows | wc -l)"
  e2e_expect_within 5 "the added row is selected and previewed" \
    preview_shows "$E2E_APP_DIR/wallpaper/normal/local/4/l_game-crystal.jpg"
else
  e2e_fail "Add opened no file dialog"
fi

e2e_finish
