#!/usr/bin/env bash
# The main window and the tray icon on a real X server: one frameless, shaped
# 799x599 window centred on a 1280x800 screen, whose caption is the language
# file's application name alone; the tray icon with its menu and "Exit";
# minimising through the desktop, which leaves only the tray icon; a start
# with an argument that shows only the tray icon until the icon is
# double-clicked; dragging by the top 41 pixel rows only.
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

# --- an ordinary start

e2e_start_program
main=$(e2e_wait_window "$START_SECONDS" "$E2E_PROGRAM_PID" "$WINDOW_W" "$WINDOW_H") ||
  e2e_abort "no ${WINDOW_W}x${WINDOW_H} window appeared (log: $E2E_PROGRAM_LOG)"
# The page filled with its thumbnails: the window is painted all over.
e2e_wait_until 20 e2e_thumbnails_shown "$main" widescreen 1 ||
  e2e_fail "the first page of thumbnails did not appear (log: $E2E_PROGRAM_LOG)"
e2e_screenshot window >/dev/null

icon=$(e2e_wait_tray_icon 10 "$E2E_PROGRAM_PID") || e2e_fail "the tray icon did not appear in the tray"

only_the_main_window_is_shown() {
  local window count=0
  for window in $(e2e_windows_of "$E2E_PROGRAM_PID"); do
    [[ $window == "${icon:-}" ]] && continue
    count=$((count + 1))
  done
  ((count == 1))
}
e2e_expect "one window is shown besides the tray icon" only_the_main_window_is_shown

read -r win_x win_y _ _ <<<"$(e2e_geometry "$main")"
within_one() { (($1 - $2 <= 1 && $2 - $1 <= 1)); }
is_centred() {
  within_one "$win_x" $(((E2E_SCREEN_W - WINDOW_W) / 2)) && within_one "$win_y" $(((E2E_SCREEN_H - WINDOW_H) / 2))
}
e2e_expect "the window is centred (it stands at $win_x,$win_y)" is_centred

has_no_frame() { [[ $(e2e_frame_extents "$main") == "0 0 0 0" ]]; }
e2e_expect "the window has no frame (extents: $(e2e_frame_extents "$main"))" has_no_frame

# The caption the desktop shows is the language file's application name and
# nothing more. xprop quotes a caption, and shows an empty one as nothing.
caption_of() { xprop -id "$1" -notype _NET_WM_NAME 2>/dev/null | sed -n 's/^_NET_WM_NAME = //p'; }
caption_is() {
  local quoted=\"$2\"
  [[ -z $2 ]] && quoted=""
  xprop -id "$1" -notype _NET_WM_NAME 2>/dev/null | grep -qxF "_NET_WM_NAME = $quoted"
}
app_name=$(sed -n 's/^szAppname=//p' "$E2E_APP_DIR/lang.ini" | tr -d '\r')
e2e_expect "the window's caption is \"$app_name\" (it reads $(caption_of "$main"))" caption_is "$main" "$app_name"

# The root window is white: the cut-away corners show it, the window's own
# picture does not.
shot=$E2E_OUT/window.png
white="255 255 255"
is_white() { e2e_colour_near "$(e2e_pixel_of "$shot" "$1" "$2")" "$white" 2; }
is_not_white() { ! is_white "$@"; }
corners_cut() {
  is_white "$win_x" "$win_y" && is_white $((win_x + WINDOW_W - 1)) "$win_y" &&
    is_white "$win_x" $((win_y + WINDOW_H - 1)) && is_white $((win_x + WINDOW_W - 1)) $((win_y + WINDOW_H - 1))
}
inside_painted() {
  is_not_white $((win_x + 10)) $((win_y + 3)) && is_not_white $((win_x + 3)) $((win_y + 10)) &&
    is_not_white $((win_x + 400)) $((win_y + 20)) && is_not_white $((win_x + WINDOW_W - 4)) $((win_y + WINDOW_H - 11))
}
e2e_expect "the window's corners are rounded away" corners_cut
e2e_expect "the window is painted up to its rounded outline" inside_painted

# --- dragging: the top 41 rows (0..40) move the window, row 41 does not

drag_at_row() {
  local row=$1
  e2e_drag $((win_x + 400)) $((win_y + row)) $((win_x + 460)) $((win_y + row + 50))
}
moved_by() {
  local x y
  read -r x y _ _ <<<"$(e2e_geometry "$main")"
  within_one "$x" $((win_x + $1)) && within_one "$y" $((win_y + $2))
}

drag_at_row 41
e2e_expect "a press at y=41 does not drag the window" moved_by 0 0
# Measured from where the window first stood, so a late move by the press
# at y=41 shows here too.
drag_at_row 40
e2e_expect_within 5 "a press at y=40 drags the window" moved_by 60 50
e2e_screenshot after-drag >/dev/null

# --- minimising through the desktop: the window goes to the tray

# Listed by the window manager, as a taskbar finds the windows it shows.
listed_by_window_manager() { xprop -root _NET_CLIENT_LIST 2>/dev/null | grep -qiw "$(printf '0x%x' "$1")"; }
only_in_the_tray() {
  ! e2e_find_window "$E2E_PROGRAM_PID" "$WINDOW_W" "$WINDOW_H" >/dev/null && ! listed_by_window_manager "$main"
}
shown_again() {
  e2e_find_window "$E2E_PROGRAM_PID" "$WINDOW_W" "$WINDOW_H" >/dev/null && listed_by_window_manager "$main"
}

if [[ -n ${icon:-} ]]; then
  e2e_expect "the shown window is listed by the window manager" listed_by_window_manager "$main"
  xdotool windowminimize "$main"
  e2e_expect_within 10 "a window minimised through the desktop leaves the screen and the taskbar" only_in_the_tray
  e2e_expect "the tray icon stays while the window is away" test "$(e2e_tray_icon "$E2E_PROGRAM_PID")" == "$icon"
  e2e_screenshot minimised-to-tray >/dev/null
  read -r icon_x icon_y <<<"$(e2e_centre "$icon")"
  e2e_double_click "$icon_x" "$icon_y"
  e2e_expect_within 10 "a double click on the tray icon brings the minimised window back" shown_again
  e2e_expect_within 20 "the window comes back painted" e2e_thumbnails_shown "$main" widescreen 1
fi

# --- the tray menu and "Exit"

menu_window() {
  local window
  for window in $(e2e_windows_of "$E2E_PROGRAM_PID"); do
    [[ $window == "$main" || $window == "${icon:-}" ]] && continue
    echo "$window"
    return 0
  done
  return 1
}

if [[ -n ${icon:-} ]]; then
  read -r icon_x icon_y <<<"$(e2e_centre "$icon")"
  e2e_click "$icon_x" "$icon_y" 3
  if e2e_wait_until 5 menu_window >/dev/null; then
    menu=$(menu_window)
    e2e_pass "a right click on the tray icon opens the menu"
    e2e_screenshot tray-menu >/dev/null
    read -r menu_x menu_y menu_w menu_h <<<"$(e2e_geometry "$menu")"
    opens_at_cursor() { within_one "$menu_x" $((icon_x - 2)) && within_one "$menu_y" $((icon_y - 2)); }
    e2e_expect "the menu opens 2 pixels up and left of the cursor (at $menu_x,$menu_y)" opens_at_cursor
    # "Exit" is the last item.
    e2e_click $((menu_x + menu_w / 2)) $((menu_y + menu_h - 10))
    if e2e_wait_program_exit 20; then
      e2e_pass "\"Exit\" ends the program"
      e2e_expect "the program ends with status 0 (it gave $E2E_PROGRAM_STATUS)" test "$E2E_PROGRAM_STATUS" -eq 0
    else
      e2e_fail "\"Exit\" did not end the program"
    fi
  else
    e2e_fail "a right click on the tray icon opened no menu"
  fi
fi

if e2e_program_running; then
  e2e_stop_pid "$E2E_PROGRAM_PID"
fi

# --- a start with an argument: only the tray icon, until it is double-clicked
# This start has no language file, so the window's caption is empty.

rm -f "$E2E_APP_DIR/lang.ini"
e2e_start_program -1
if icon=$(e2e_wait_tray_icon "$START_SECONDS" "$E2E_PROGRAM_PID"); then
  e2e_pass "a start with an argument shows the tray icon"
  # The program decides whether to show its window before its event loop
  # runs; the icon is painted by that loop.
  e2e_expect_within 10 "the tray icon is painted" e2e_icon_painted "$icon"
  e2e_screenshot start-in-tray >/dev/null
  no_window() { ! e2e_find_window "$E2E_PROGRAM_PID" "$WINDOW_W" "$WINDOW_H" >/dev/null; }
  e2e_expect "a start with an argument shows no window" no_window
  read -r icon_x icon_y <<<"$(e2e_centre "$icon")"
  e2e_double_click "$icon_x" "$icon_y"
  if main=$(e2e_wait_window 10 "$E2E_PROGRAM_PID" "$WINDOW_W" "$WINDOW_H"); then
    e2e_pass "a double click on the tray icon shows the window"
    e2e_expect "without a language file the window's caption is empty (it reads $(caption_of "$main"))" \
      caption_is "$main" ""
    e2e_expect_within 20 "the restored window shows the thumbnails" e2e_thumbnails_shown "$main" widescreen 1
    e2e_screenshot restored-from-tray >/dev/null
    # The close button ends the program.
    read -r win_x win_y _ _ <<<"$(e2e_geometry "$main")"
    e2e_click $((win_x + 766 + 12)) $((win_y + 10 + 12))
    if e2e_wait_program_exit 20; then
      e2e_pass "the close button ends the program"
    else
      e2e_fail "the close button did not end the program"
    fi
  else
    e2e_fail "a double click on the tray icon did not show the window"
  fi
else
  e2e_fail "a start with an argument showed no tray icon (log: $E2E_PROGRAM_LOG)"
fi

e2e_finish
