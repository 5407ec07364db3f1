#!/usr/bin/env bash
# One program per user session, and the command line: a second start shows
# the first one's window and ends; --next, --previous and --set go to the
# running program and change the root window's picture; --quit ends it;
# without a program the commands do their work and end with 0, or with 1
# and one line for a missing file; a program killed without cleaning up
# does not block the next start; two starts at the same moment leave one
# program. A start without a runtime folder finds the program that works on
# the same folder; a channel folder that someone else could have made is
# refused.
# Arguments: the staged program folder, the build folder.

# shellcheck disable=SC2317  # the checks are small functions called by name
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init "$@"

readonly WINDOW_W=799 WINDOW_H=599
readonly START_SECONDS=60 # a sanitizer build starts slowly
readonly COMMAND_SECONDS=60

e2e_start_session 1280x800x24
e2e_copy_program
STORE=$E2E_HOME/.config/Nimbra-Wallpaper/values.reg
PICTURE=$(find "$E2E_APP_DIR/wallpaper/widescreen" -type f -iname 'l_*.jpg' | sort | head -n1)
[[ -n $PICTURE ]] || e2e_abort "the sample store holds no large picture"

root_pixmap() { xprop -root _XROOTPMAP_ID 2>/dev/null | sed -n 's/.*# *//p'; }
root_changed_from() { [[ -n $(root_pixmap) && $(root_pixmap) != "$1" ]]; }
current_is() { grep -qxF "\"current\"=dword:$(printf '%08x' "$1")" "$STORE" 2>/dev/null; }
# The programs running from the copy, whoever started them.
programs_running() { pgrep -f "^$E2E_APP_DIR/NimbraWallpaper" 2>/dev/null | wc -l; }
one_program() { [[ $(programs_running) == 1 ]]; }
no_program() { [[ $(programs_running) == 0 ]]; }
command_ended_with() { [[ $E2E_COMMAND_STATUS == "$1" ]]; }
window_shown() { [[ -n $(e2e_find_window "$E2E_PROGRAM_PID" "$WINDOW_W" "$WINDOW_H") ]]; }
window_hidden() { ! window_shown; }

# --- a second start finds the first

e2e_start_program
main=$(e2e_wait_window "$START_SECONDS" "$E2E_PROGRAM_PID" "$WINDOW_W" "$WINDOW_H") ||
  e2e_abort "no ${WINDOW_W}x${WINDOW_H} window appeared (log: $E2E_PROGRAM_LOG)"
icon=$(e2e_wait_tray_icon 10 "$E2E_PROGRAM_PID") || e2e_abort "the tray icon did not appear in the tray"
e2e_wait_until 10 e2e_icon_painted "$icon" || e2e_fail "the tray icon was not painted"
e2e_wait_until 10 current_is 1 || e2e_fail "the first start stored no position"

xdotool windowminimize "$main"
e2e_expect_within 10 "minimised, the window goes to the tray" window_hidden
e2e_run_command "$COMMAND_SECONDS"
e2e_expect "a second start without arguments ends with 0" command_ended_with 0
e2e_expect_within 10 "the second start shows the first one's window" window_shown
e2e_expect "one program runs" one_program

xdotool windowminimize "$main"
e2e_wait_until 10 window_hidden || e2e_fail "the window did not go to the tray again"
e2e_run_command "$COMMAND_SECONDS" -1
e2e_expect "a start with the auto-start argument ends with 0" command_ended_with 0
e2e_run_command "$COMMAND_SECONDS" --previous # a command answered after the start's request
e2e_expect "the auto-start argument leaves the window in the tray" window_hidden
e2e_expect "one program runs after the auto-start argument" one_program

# A start without a runtime folder uses a folder of its own in the temporary
# folder, yet works on the same files as the running program.
mkdir -p "$E2E_TMP/tmp"
E2E_COMMAND_ENV=(-u XDG_RUNTIME_DIR "TMPDIR=$E2E_TMP/tmp")
e2e_run_command 20
e2e_expect "a start without the runtime folder ends with 0" command_ended_with 0
e2e_expect_within 10 "it shows the running program's window" window_shown
e2e_expect "one program runs after a start without the runtime folder" one_program
E2E_COMMAND_ENV=()

# --- the commands go to the running program

before=$(root_pixmap)
e2e_run_command "$COMMAND_SECONDS" --next
e2e_expect "--next on the running program ends with 0" command_ended_with 0
e2e_expect_within 10 "--next changes the root window's picture" root_changed_from "$before"
position=$(sed -n 's/^"current"=dword:\(.*\)\r\{0,1\}$/\1/p' "$STORE")
before=$(root_pixmap)
e2e_run_command "$COMMAND_SECONDS" --previous
e2e_expect "--previous ends with 0" command_ended_with 0
e2e_expect_within 10 "--previous changes the root window's picture" root_changed_from "$before"
e2e_expect "--previous steps back" test "$(sed -n 's/^"current"=dword:\(.*\)\r\{0,1\}$/\1/p' "$STORE")" != "$position"

before=$(root_pixmap)
e2e_run_command "$COMMAND_SECONDS" --set "$PICTURE"
e2e_expect "--set on the running program ends with 0" command_ended_with 0
e2e_expect_within 10 "--set changes the root window's picture" root_changed_from "$before"
e2e_run_command "$COMMAND_SECONDS" --set "$E2E_TMP/no-such-picture.jpg"
e2e_expect "--set of a missing file on the running program ends with 1" command_ended_with 1
e2e_expect "the running program says which file is missing" grep -q "no-such-picture.jpg" "$E2E_COMMAND_ERR"

e2e_run_command "$COMMAND_SECONDS" --quit
e2e_expect "--quit ends with 0" command_ended_with 0
e2e_expect_within 20 "--quit ends the running program" e2e_program_gone
e2e_run_command "$COMMAND_SECONDS" --quit
e2e_expect "--quit with no program ends with 0" command_ended_with 0

# --- the commands without a program

before=$(root_pixmap)
e2e_run_command "$COMMAND_SECONDS" --set "$PICTURE"
e2e_expect "--set with no program ends with 0" command_ended_with 0
e2e_expect "--set with no program changes the root window's picture" root_changed_from "$before"
e2e_expect "--set with no program leaves no program running" no_program
e2e_run_command "$COMMAND_SECONDS" --set "$E2E_TMP/no-such-picture.jpg"
e2e_expect "--set of a missing file ends with 1" command_ended_with 1
e2e_expect "--set of a missing file says so in one line" test "$(wc -l <"$E2E_COMMAND_ERR")" = 1
e2e_expect "the line names the file" grep -q "no-such-picture.jpg" "$E2E_COMMAND_ERR"
position=$(sed -n 's/^"current"=dword:\(.*\)\r\{0,1\}$/\1/p' "$STORE")
before=$(root_pixmap)
e2e_run_command "$COMMAND_SECONDS" --next
e2e_expect "--next with no program ends with 0" command_ended_with 0
e2e_expect "--next with no program changes the root window's picture" root_changed_from "$before"
e2e_expect "--next with no program steps on" test "$(sed -n 's/^"current"=dword:\(.*\)\r\{0,1\}$/\1/p' "$STORE")" != "$position"

# --- a killed program leaves its socket; the next start takes over

e2e_start_program
e2e_wait_window "$START_SECONDS" "$E2E_PROGRAM_PID" "$WINDOW_W" "$WINDOW_H" >/dev/null ||
  e2e_abort "the program did not start again (log: $E2E_PROGRAM_LOG)"
kill -KILL "$E2E_PROGRAM_PID"
e2e_wait_until 10 e2e_program_gone || e2e_fail "the killed program did not end"
socket_left() {
  local socket
  for socket in "$E2E_TMP"/runtime/nimbra-wallpaper*.socket; do [[ -S $socket ]] && return 0; done
  return 1
}
e2e_expect "the killed program left its socket behind" socket_left
e2e_start_program
restarted() { e2e_wait_window "$START_SECONDS" "$E2E_PROGRAM_PID" "$WINDOW_W" "$WINDOW_H" >/dev/null; }
e2e_expect "the next start is not blocked by the leftover socket" restarted
e2e_run_command "$COMMAND_SECONDS" --quit
e2e_wait_until 20 e2e_program_gone || e2e_fail "the program did not end on --quit"

# --- names in bytes that are not UTF-8

latin1=$E2E_TMP/$'lat1-\xe9.jpg'
cp "$PICTURE" "$latin1"
before=$(root_pixmap)
e2e_run_command "$COMMAND_SECONDS" --set "$latin1"
e2e_expect "--set of a file whose name is not UTF-8 ends with 0" command_ended_with 0
e2e_expect "and changes the root window's picture" root_changed_from "$before"

# A portable copy in such a folder says why it cannot run, and makes nothing beside itself.
foreign=$E2E_TMP/$'caf\xe9'
cp -a "$E2E_STAGE" "$foreign"
(e2e_enter_program_env && exec timeout -k 5 20 "$foreign/NimbraWallpaper") >"$E2E_TMP/foreign.out" 2>"$E2E_TMP/foreign.err"
e2e_expect "a program in a folder whose name is not UTF-8 ends with 1" test $? = 1
e2e_expect "it says so, naming the byte" grep -qF 'caf\xe9' "$E2E_TMP/foreign.err"
only_its_folder() { [[ $(find "$E2E_TMP" -maxdepth 1 -name 'caf*' | wc -l) == 1 ]]; }
e2e_expect "it makes no folder beside its own" only_its_folder
e2e_expect "it writes nothing into its folder" test ! -e "$foreign/nimbra-wallpaper.lock"

# --- a channel folder that someone else could have made is refused

# The start's own folder in the temporary folder, made first by another
# user (or, without the rights to give it away, open to everyone).
laid=$E2E_TMP/tmp/nimbra-wallpaper-$(id -u)
mkdir -p -m 777 "$laid"
chmod 777 "$laid"
if ((EUID == 0)); then chown 65534:65534 "$laid"; fi
E2E_COMMAND_ENV=(-u XDG_RUNTIME_DIR "TMPDIR=$E2E_TMP/tmp")
e2e_run_command 20
e2e_expect "a start on a folder laid by someone else ends with 1" command_ended_with 1
e2e_expect "it names the folder" grep -qF "$laid" "$E2E_COMMAND_ERR"
e2e_expect "it leaves no program running" no_program
e2e_run_command 20 --next
e2e_expect "--next on a folder laid by someone else ends with 1" command_ended_with 1
E2E_COMMAND_ENV=()

# --- two starts at the same moment

e2e_start_program
first=$E2E_PROGRAM_PID
e2e_start_program
second=$E2E_PROGRAM_PID
either_window() { e2e_find_window "$first" "$WINDOW_W" "$WINDOW_H" || e2e_find_window "$second" "$WINDOW_W" "$WINDOW_H"; }
e2e_wait_until "$START_SECONDS" either_window >/dev/null || e2e_fail "neither of two starts showed a window"
one_gone() { e2e_pid_gone "$first" || e2e_pid_gone "$second"; }
e2e_expect_within "$START_SECONDS" "of two starts at the same moment one ends" one_gone
e2e_expect "and one program runs" one_program

e2e_finish
