#!/usr/bin/env bash
# --set on LXQt's desktop: the real pcmanfm-qt draws the desktop of a
# virtual X display (profile "lxqt", its own session bus), starting as a
# fresh user's does, with the wallpaper mode "none". A picture of two
# colours side by side fills the screen stretched; the same file overwritten
# with the colours swapped and set again shows swapped; the stretch mode is
# saved, so a pcmanfm-qt that starts again from its settings (the first one
# ended without saving, as in a crash) shows the picture stretched. With no
# pcmanfm-qt desktop running, --set ends with 1 and says so.
# pcmanfm-qt 1.2 saves the mode it holds when it quits normally, and the
# mode given on the command line is not among what it holds: that case is
# not checked here.
# Arguments: the staged program folder, the build folder.

# The checks are small functions that e2e_expect calls by name.
# shellcheck disable=SC2317
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init "$@"
e2e_require dbus-daemon convert
command -v dbus-send >/dev/null 2>&1 || e2e_skip "dbus-send is not installed (see scripts/packages/test.txt)"

readonly SET_SECONDS=60 # a sanitizer build starts slowly
readonly SCREEN_W=640 SCREEN_H=480

e2e_start_display ${SCREEN_W}x${SCREEN_H}x24
# It answers nothing, not even its version, without a display.
e2e_require pcmanfm-qt
e2e_copy_program
mkdir -p "$E2E_TMP/pictures" "$E2E_TMP/runtime" && chmod 700 "$E2E_TMP/runtime"

# --- the session bus and pcmanfm-qt's desktop

dbus-daemon --session --nofork --nopidfile --print-address=3 3>"$E2E_TMP/bus" >"$E2E_OUT/dbus.log" 2>&1 &
e2e_track $!
bus_named() { [[ -s $E2E_TMP/bus ]]; }
e2e_wait_until 10 bus_named || e2e_abort "dbus-daemon gave no address (see $E2E_OUT/dbus.log)"
BUS=$(head -n1 "$E2E_TMP/bus")

in_session() { (in_session_exec "$@"); }
# The same in place of the calling (sub)shell, so that $! is the command's own id.
in_session_exec() {
  exec env HOME="$E2E_HOME" XDG_CONFIG_HOME="$E2E_HOME/.config" XDG_DATA_HOME="$E2E_HOME/.local/share" \
    XDG_RUNTIME_DIR="$E2E_TMP/runtime" DBUS_SESSION_BUS_ADDRESS="$BUS" XDG_CURRENT_DESKTOP=LXQt "$@"
}
desktop_up() {
  in_session dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
    string:org.pcmanfm.PCManFM 2>/dev/null | grep -q 'boolean true'
}
start_desktop() {
  (in_session_exec pcmanfm-qt --desktop --profile=lxqt >>"$E2E_OUT/pcmanfm-qt.log" 2>&1) &
  DESKTOP_PID=$!
  e2e_track "$DESKTOP_PID"
  e2e_wait_until 20 desktop_up || e2e_abort "pcmanfm-qt's desktop did not start (see $E2E_OUT/pcmanfm-qt.log)"
}
SETTINGS=$E2E_HOME/.config/pcmanfm-qt/lxqt/settings.conf

# set_picture FILE: --set on this LXQt session.
set_picture() {
  E2E_COMMAND_ERR=$E2E_TMP/command.err
  (cd "$E2E_APP_DIR" && in_session env QT_QPA_PLATFORM=offscreen \
    LSAN_OPTIONS="suppressions=$E2E_SOURCE_DIR/tests/lsan.supp" \
    timeout -k 5 "$SET_SECONDS" "$E2E_APP_DIR/NimbraWallpaper" --set "$1") >/dev/null 2>"$E2E_COMMAND_ERR"
  E2E_COMMAND_STATUS=$?
  cat "$E2E_COMMAND_ERR" >>"$E2E_OUT/commands.log"
}

# screen_shows LEFT RIGHT: the left half of the screen is one colour and the
# right half the other, as a picture of two pixels stretched to it.
colour_at() {
  import -window root -crop "1x1+$1+$2" +repage -format '%[fx:int(255*r)],%[fx:int(255*g)],%[fx:int(255*b)]' info: \
    2>/dev/null
}
screen_shows() {
  [[ $(colour_at $((SCREEN_W / 8)) $((SCREEN_H / 2))) == "$1" &&
    $(colour_at $((SCREEN_W * 7 / 8)) $((SCREEN_H / 2))) == "$2" ]]
}
two_colours() { convert -size 1x1 "xc:$1" -size 1x1 "xc:$2" +append "PNG24:$3"; }
mode_saved() { grep -qx 'WallpaperMode=stretch' "$SETTINGS"; }

# --- a fresh desktop

start_desktop
picture=$E2E_TMP/pictures/halves.png
two_colours red blue "$picture"
set_picture "$picture"
e2e_expect "--set ends with 0 ($(tail -n1 "$E2E_COMMAND_ERR"))" test "$E2E_COMMAND_STATUS" -eq 0
e2e_expect_within 15 "the picture fills the screen, stretched" screen_shows 255,0,0 0,0,255
e2e_screenshot stretched >/dev/null

two_colours blue red "$picture"
set_picture "$picture"
e2e_expect "--set of the overwritten file ends with 0" test "$E2E_COMMAND_STATUS" -eq 0
e2e_expect_within 15 "the overwritten file shows its new content" screen_shows 0,0,255 255,0,0
e2e_expect "the stretch mode is saved in $SETTINGS" mode_saved

# --- pcmanfm-qt starts again from its settings

kill -KILL "$DESKTOP_PID"
e2e_wait_until 10 e2e_pid_gone "$DESKTOP_PID"
start_desktop
e2e_expect_within 15 "after a new start of pcmanfm-qt the picture is still stretched" \
  screen_shows 0,0,255 255,0,0
e2e_screenshot after-restart >/dev/null

# --- no desktop

e2e_stop_pid "$DESKTOP_PID"
desktop_gone() { ! desktop_up; }
e2e_wait_until 10 desktop_gone || e2e_abort "pcmanfm-qt's desktop did not end"
set_picture "$picture"
e2e_expect "--set without pcmanfm-qt's desktop ends with 1" test "$E2E_COMMAND_STATUS" -eq 1
e2e_expect "and says that pcmanfm-qt did not take the picture" grep -q "did not take the picture" "$E2E_COMMAND_ERR"

e2e_finish
