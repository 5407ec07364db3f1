#!/usr/bin/env bash
# A picture for each output on Wayland, in a headless sway with two outputs
# side by side (grim takes each output's picture):
# - as sway: A on all, B on output 2 by its number, C on HEADLESS-1 by its
#   name; each output shows its own;
# - as a compositor with no settings of its own would look (niri named,
#   no SWAYSOCK; sway offers zwlr_layer_shell_v1 and draws no background
#   itself): D on all shows over each whole output and stays once --set
#   has returned; E on output 2 leaves D on output 1; one background holder
#   is left running, the one before it ended.
# sway will not run as root, so as root the script runs sway, grim and the
# program as the user "nobody".
# Arguments: the staged program folder, the build folder.

# The checks are small functions that e2e_expect calls by name.
# shellcheck disable=SC2317
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init "$@"
e2e_require sway swaymsg swaybg grim convert

readonly SET_SECONDS=60 # a sanitizer build starts slowly
readonly OUT_W=320 OUT_H=240

e2e_sway_user
RUN_AS=(${E2E_RUN_AS[@]+"${E2E_RUN_AS[@]}"})
as_user() { (as_user_exec "$@"); }
as_user_exec() {
  exec "${RUN_AS[@]}" env -i PATH="$PATH" HOME="$E2E_HOME" XDG_RUNTIME_DIR="$SWAY_RUNTIME" \
    XDG_CONFIG_HOME="$E2E_HOME/.config" XDG_DATA_HOME="$E2E_HOME/.local/share" \
    ${SWAYSOCK:+SWAYSOCK=$SWAYSOCK} ${WAYLAND_DISPLAY:+WAYLAND_DISPLAY=$WAYLAND_DISPLAY} \
    LSAN_OPTIONS="suppressions=$E2E_TMP/lsan.supp" "$@"
}
user_id() { as_user id -u; }
# The swaybg processes of the session's user that show a picture of this script's.
own_swaybgs() {
  local pid
  for pid in $(pgrep -x -u "$(user_id)" swaybg); do
    [[ $(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null) == *"$E2E_TMP"* ]] && echo "$pid"
  done
}
stop_swaybgs() { own_swaybgs | xargs -r kill 2>/dev/null; }

e2e_copy_program
SWAY_RUNTIME=$E2E_TMP/sway-runtime
mkdir -p "$SWAY_RUNTIME" && chmod 700 "$SWAY_RUNTIME" || e2e_abort "cannot make $SWAY_RUNTIME"
cp "$E2E_SOURCE_DIR/tests/lsan.supp" "$E2E_TMP/lsan.supp"
outputs="output HEADLESS-1 mode ${OUT_W}x${OUT_H} position 0 0
output HEADLESS-2 mode ${OUT_W}x${OUT_H} position $OUT_W 0"
printf '%s\noutput * bg #203040 solid_color\n' "$outputs" >"$E2E_TMP/sway.config"
# As a compositor with no background of its own.
printf '%s\nswaybg_command -\n' "$outputs" >"$E2E_TMP/bare.config"
for colour in red blue lime yellow magenta; do
  convert -size 64x48 "xc:$colour" "$E2E_TMP/$colour.png" || e2e_abort "cannot make the pictures"
done
if ((EUID == 0)); then
  chmod 755 "$E2E_TMP"
  chown -R "$(id -u nobody):$(id -g nobody)" "$E2E_TMP"/*
fi

# --- sway

SWAYSOCK=""
WAYLAND_DISPLAY=""
SWAY_PID=""
sway_socket() { compgen -G "$SWAY_RUNTIME/sway-ipc.*.$SWAY_PID.sock" | head -n1; }
sway_up() { [[ -n $(sway_socket) ]] && [[ -n $(compgen -G "$SWAY_RUNTIME/wayland-*.lock") ]]; }
two_outputs() { (($(SWAYSOCK=$(sway_socket) as_user swaymsg -t get_outputs -r | grep -c '"name": "HEADLESS') == 2)); }
start_sway() {
  [[ -n $SWAY_PID ]] && e2e_stop_pid "$SWAY_PID" && stop_swaybgs
  SWAYSOCK="" WAYLAND_DISPLAY=""
  rm -f "$SWAY_RUNTIME"/wayland-* "$SWAY_RUNTIME"/sway-ipc.*
  (as_user_exec env WLR_BACKENDS=headless WLR_HEADLESS_OUTPUTS=2 WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    sway -c "$1" >>"$E2E_OUT/sway.log" 2>&1) &
  SWAY_PID=$!
  e2e_track "$SWAY_PID"
  e2e_wait_until 20 sway_up || e2e_skip "headless sway did not start here (see $E2E_OUT/sway.log)"
  e2e_wait_until 10 two_outputs || e2e_abort "headless sway has not two outputs (see $E2E_OUT/sway.log)"
  SWAYSOCK=$(sway_socket)
  local lock
  lock=$(compgen -G "$SWAY_RUNTIME/wayland-*.lock" | head -n1)
  WAYLAND_DISPLAY=$(basename "${lock%.lock}")
  e2e_log "sway is up at $SWAYSOCK, $WAYLAND_DISPLAY"
}

# set_picture DESKTOP [ARGS...]: --set as the session's user, the desktop named as given.
set_picture() {
  local desktop=$1
  shift
  E2E_COMMAND_ERR=$E2E_TMP/command.err
  (cd "$E2E_APP_DIR" && as_user env XDG_CURRENT_DESKTOP="$desktop" XDG_SESSION_TYPE=wayland \
    QT_QPA_PLATFORM=offscreen timeout -k 5 "$SET_SECONDS" "$E2E_APP_DIR/NimbraWallpaper" --set "$@") \
    >/dev/null 2>"$E2E_COMMAND_ERR"
  E2E_COMMAND_STATUS=$?
  cat "$E2E_COMMAND_ERR" >>"$E2E_OUT/commands.log"
}

# The colour of an output at its middle and near a corner (a stretched
# picture blends into its edge), as hex.
output_colours() {
  as_user grim -o "$1" - 2>>"$E2E_OUT/grim.log" |
    convert png:- -format "%[hex:p{$((OUT_W / 2)),$((OUT_H / 2))}]\n%[hex:p{10,$((OUT_H - 10))}]\n" info: 2>/dev/null
}
# shows LEFT RIGHT: each output shows that colour over the whole of it.
shows() {
  local wanted=("$1" "$2") name colours n
  for n in 0 1; do
    name=HEADLESS-$((n + 1))
    mapfile -t colours < <(output_colours "$name")
    ((${#colours[@]} == 2)) && e2e_hex_colour_near "${colours[0]}" "${wanted[n]}" && e2e_hex_colour_near "${colours[1]}" "${wanted[n]}" ||
      return 1
  done
}
readonly RED=FF0000 BLUE=0000FF LIME=00FF00 YELLOW=FFFF00 MAGENTA=FF00FF

# --- sway's own outputs

start_sway "$E2E_TMP/sway.config"
set_picture sway "$E2E_TMP/red.png"
e2e_expect "--set A ends with 0 ($(tail -n1 "$E2E_COMMAND_ERR"))" test "$E2E_COMMAND_STATUS" -eq 0
e2e_expect_within 10 "both outputs show A" shows $RED $RED
set_picture sway "$E2E_TMP/blue.png" --monitor 2
e2e_expect "--set B --monitor 2 ends with 0 ($(tail -n1 "$E2E_COMMAND_ERR"))" test "$E2E_COMMAND_STATUS" -eq 0
e2e_expect_within 10 "HEADLESS-1 shows A and HEADLESS-2 B" shows $RED $BLUE
set_picture sway "$E2E_TMP/lime.png" --monitor HEADLESS-1
e2e_expect "--set C --monitor HEADLESS-1 ends with 0 ($(tail -n1 "$E2E_COMMAND_ERR"))" test "$E2E_COMMAND_STATUS" -eq 0
e2e_expect_within 10 "HEADLESS-1 shows C and HEADLESS-2 still B" shows $LIME $BLUE
set_picture sway "$E2E_TMP/lime.png" --monitor HEADLESS-9
e2e_expect "an unknown output ends with 1 and names the outputs ($(tail -n1 "$E2E_COMMAND_ERR"))" \
  grep -q "1 HEADLESS-1 (${OUT_W}x${OUT_H}), 2 HEADLESS-2 (${OUT_W}x${OUT_H})" "$E2E_COMMAND_ERR"

# --- a compositor without settings: the background layer

start_sway "$E2E_TMP/bare.config"
saved_sock=$SWAYSOCK
SWAYSOCK=""
set_picture niri "$E2E_TMP/yellow.png"
e2e_expect "--set D on the layer shell ends with 0 ($(tail -n1 "$E2E_COMMAND_ERR"))" test "$E2E_COMMAND_STATUS" -eq 0
e2e_expect "D shows over both whole outputs once --set has returned" shows $YELLOW $YELLOW
first_holder=$(own_swaybgs)
set_picture niri "$E2E_TMP/magenta.png" --monitor 2
e2e_expect "--set E --monitor 2 ends with 0 ($(tail -n1 "$E2E_COMMAND_ERR"))" test "$E2E_COMMAND_STATUS" -eq 0
e2e_expect "output 1 still shows D and output 2 shows E" shows $YELLOW $MAGENTA
one_holder() { [[ $(own_swaybgs | wc -l) -eq 1 && $(own_swaybgs) != "$first_holder" ]]; }
e2e_expect_within 5 "one background holder runs, not the one before" one_holder
e2e_expect "and it stays" shows $YELLOW $MAGENTA

SWAYSOCK=$saved_sock
e2e_stop_pid "$SWAY_PID"
stop_swaybgs
e2e_finish
