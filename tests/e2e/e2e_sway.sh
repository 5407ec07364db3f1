#!/usr/bin/env bash
# --set on a real sway: a headless sway (no screen, no input devices) with
# swaybg, and the program pointed at it by SWAYSOCK. The program's folder,
# where the copies for the desktop go, and the pictures have the names that
# sway's parser used to mangle (a quote, a double quote, a backslash, two
# blanks in a row, a dollar sign); each picture becomes the background:
# --set ends with 0 and the swaybg that sway runs shows a copy with the
# picture's content. A picture overwritten and set again shows its new
# content. A sway whose swaybg cannot start makes --set end with 1 and say so. sway will not run as root, so
# as root the script runs sway and the program as the user "nobody".
# Arguments: the staged program folder, the build folder.

# The checks are small functions that e2e_expect calls by name.
# shellcheck disable=SC2317
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init "$@"
e2e_require sway swaymsg swaybg convert cmp

readonly SET_SECONDS=60 # a sanitizer build starts slowly

# --- who runs sway

e2e_sway_user
RUN_AS=(${E2E_RUN_AS[@]+"${E2E_RUN_AS[@]}"})
# as_user COMMAND...: the command as the session's user, in the session's
# environment and nothing else of this script's.
as_user() { (as_user_exec "$@"); }
# The same in place of the calling (sub)shell, so that $! is the command's own id.
as_user_exec() {
  exec "${RUN_AS[@]}" env -i PATH="$PATH" HOME="$E2E_HOME" XDG_RUNTIME_DIR="$SWAY_RUNTIME" \
    XDG_CONFIG_HOME="$E2E_HOME/.config" XDG_DATA_HOME="$E2E_HOME/.local/share" ${SWAYSOCK:+SWAYSOCK=$SWAYSOCK} \
    LSAN_OPTIONS="suppressions=$E2E_TMP/lsan.supp" "$@"
}
# swaybg goes off on its own: it is stopped with the session's sway at the end.
stop_swaybg() {
  local pid
  for pid in $(pgrep -x -u "$(as_user id -u)" swaybg); do
    [[ $(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null) == *"$E2E_TMP"* ]] && kill "$pid" 2>/dev/null
  done
}

e2e_copy_program
# Every copy the desktop is handed lies below the program's folder.
ODD_FOLDER="$E2E_TMP/it's \"odd\" back\\slash two  blanks \$HOME"
mv "$E2E_APP_DIR" "$ODD_FOLDER" || e2e_abort "cannot move the program to $ODD_FOLDER"
E2E_APP_DIR=$ODD_FOLDER
SWAY_RUNTIME=$E2E_TMP/sway-runtime
PICTURES=$E2E_TMP/pictures
mkdir -p "$SWAY_RUNTIME" "$PICTURES" && chmod 700 "$SWAY_RUNTIME" || e2e_abort "cannot make $SWAY_RUNTIME"
cp "$E2E_SOURCE_DIR/tests/lsan.supp" "$E2E_TMP/lsan.supp"
printf 'output * bg #203040 solid_color\n' >"$E2E_TMP/sway.config"
printf 'swaybg_command /nonexistent/swaybg\n' >"$E2E_TMP/no-swaybg.config"
if ((EUID == 0)); then
  chmod 755 "$E2E_TMP"
  chown -R "$(id -u nobody):$(id -g nobody)" "$E2E_TMP"/*
fi

# --- sway

SWAYSOCK=""
SWAY_PID=""
sway_socket() { compgen -G "$SWAY_RUNTIME/sway-ipc.*.$SWAY_PID.sock" | head -n1; }
sway_up() { [[ -n $(sway_socket) ]]; }
# start_sway CONFIG: a sway of its own for the session, in place of the one before.
start_sway() {
  [[ -n $SWAY_PID ]] && e2e_stop_pid "$SWAY_PID" && stop_swaybg
  SWAYSOCK=""
  (as_user_exec env WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    sway -c "$1" >>"$E2E_OUT/sway.log" 2>&1) &
  SWAY_PID=$!
  e2e_track "$SWAY_PID"
  e2e_wait_until 20 sway_up || e2e_skip "headless sway did not start here (see $E2E_OUT/sway.log)"
  SWAYSOCK=$(sway_socket)
  e2e_log "sway is up at $SWAYSOCK"
}
start_sway "$E2E_TMP/sway.config"

# set_picture FILE: --set as the session's user, on a sway session.
set_picture() {
  E2E_COMMAND_ERR=$E2E_TMP/command.err
  (cd "$E2E_APP_DIR" && as_user env XDG_CURRENT_DESKTOP=sway QT_QPA_PLATFORM=offscreen \
    timeout -k 5 "$SET_SECONDS" "$E2E_APP_DIR/NimbraWallpaper" --set "$1") >/dev/null 2>"$E2E_COMMAND_ERR"
  E2E_COMMAND_STATUS=$?
  cat "$E2E_COMMAND_ERR" >>"$E2E_OUT/commands.log"
}

# The picture the session's swaybg shows, from its command line.
swaybg_picture() {
  local pid
  for pid in $(pgrep -x -u "$(as_user id -u)" swaybg); do
    tr '\0' '\n' <"/proc/$pid/cmdline" 2>/dev/null | awk 'shown { print; exit } $0 == "-i" { shown = 1 }'
  done
}
# swaybg_shows FILE: a swaybg shows a file with FILE's content.
swaybg_shows() {
  local shown
  while IFS= read -r shown; do
    [[ -n $shown ]] && cmp -s "$shown" "$1" && return 0
  done < <(swaybg_picture)
  return 1
}

# --- the names sway's parser used to mangle

names=(plain.jpg "it's a pic.jpg" 'dq"name.jpg' 'back\slash.jpg' 'two  spaces.jpg' 'cost $5 $HOME.jpg')
colours=(red green blue yellow magenta cyan)
for i in "${!names[@]}"; do
  picture=$PICTURES/${names[i]}
  as_user convert -size 64x48 "xc:${colours[i]}" "$picture" || e2e_abort "cannot make $picture"
  set_picture "$picture"
  e2e_expect "--set \"${names[i]}\" ends with 0 ($(tail -n1 "$E2E_COMMAND_ERR"))" test "$E2E_COMMAND_STATUS" -eq 0
  e2e_expect_within 10 "swaybg shows \"${names[i]}\"" swaybg_shows "$picture"
done

# --- the same file with new content

picture=$PICTURES/same.png
as_user convert -size 64x48 xc:orange "$picture"
set_picture "$picture"
as_user convert -size 64x48 xc:purple "$picture"
set_picture "$picture"
e2e_expect "--set of the overwritten picture ends with 0" test "$E2E_COMMAND_STATUS" -eq 0
e2e_expect_within 10 "swaybg shows the overwritten picture's new content" swaybg_shows "$picture"
one_copy() { (($(find "$E2E_APP_DIR/wallpaper-cache" -type f | wc -l) == 1)); }
e2e_expect "the older copies are gone" one_copy

# --- a sway whose swaybg cannot start

start_sway "$E2E_TMP/no-swaybg.config"
as_user convert -size 64x48 xc:white "$PICTURES/unseen.png"
set_picture "$PICTURES/unseen.png"
e2e_expect "--set ends with 1 when no swaybg shows the picture" test "$E2E_COMMAND_STATUS" -eq 1
e2e_expect "and says so ($(tail -n1 "$E2E_COMMAND_ERR"))" grep -q "no swaybg shows" "$E2E_COMMAND_ERR"

e2e_stop_pid "$SWAY_PID"
stop_swaybg
e2e_finish
