# shellcheck shell=bash disable=SC2034  # the E2E_ values are read by the scripts that source this file
# Shared by the end-to-end scripts. It gives a script a private X display
# (Xvfb) with a window manager (openbox) and a tray host (trayer), a private
# copy of the staged program folder with its own HOME and XDG_CONFIG_HOME,
# helpers to drive the program with xdotool and to look at the screen with
# ImageMagick, and a clean end: every process started here is stopped by its
# id when the script exits, however it exits.
#
# A script sources this file and starts with
#   e2e_init "$@"          # $1: the staged program folder, $2: the build folder
# Screenshots and the program's output go to $2/e2e/<script name>/.
# Exit codes: 0 passed, 1 failed, 77 skipped (a tool is missing).

set -uo pipefail

E2E_SOURCE_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
E2E_PIDS=()           # processes started here, stopped last-first at exit
E2E_FAILURES=0
E2E_PROGRAM_PID=""
E2E_PROGRAM_STARTS=0
E2E_SCREEN_W=0
E2E_SCREEN_H=0

e2e_log() { echo "e2e: $*" >&2; }

# --- outcome

e2e_skip() {
  echo "e2e: SKIP: $*"
  exit 77
}

# A failed check is counted and the script goes on, so one run reports
# every fault; e2e_finish turns the count into the exit code.
e2e_fail() {
  E2E_FAILURES=$((E2E_FAILURES + 1))
  echo "e2e: FAIL: $*" >&2
  e2e_screenshot "failure-$E2E_FAILURES" >/dev/null 2>&1 || true
}

e2e_pass() { echo "e2e: ok: $*" >&2; }

# e2e_expect DESCRIPTION COMMAND [ARGS...]: passes when the command succeeds.
e2e_expect() {
  local description=$1
  shift
  if "$@"; then e2e_pass "$description"; else e2e_fail "$description"; fi
}

# Stops the script at once: later checks make no sense without this one.
e2e_abort() {
  e2e_fail "$*"
  exit 1
}

e2e_finish() {
  if ((E2E_FAILURES > 0)); then
    echo "e2e: $E2E_FAILURES check(s) failed; screenshots in $E2E_OUT" >&2
    exit 1
  fi
  echo "e2e: all checks passed; screenshots in $E2E_OUT" >&2
  exit 0
}

# --- set-up and clean-up

e2e_require() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null 2>&1 || e2e_skip "$tool is not installed (see .ci/packages.txt)"
  done
}

e2e_init() {
  if (($# < 2)); then
    echo "usage: $0 STAGE_DIR BUILD_DIR" >&2
    exit 2
  fi
  E2E_STAGE=$(cd "$1" 2>/dev/null && pwd) || e2e_abort "no staged program folder at $1"
  [[ -x $E2E_STAGE/NimbraWallpaper ]] || e2e_abort "no executable in $E2E_STAGE (build the program first)"
  E2E_NAME=$(basename "$0" .sh)
  E2E_OUT=$(mkdir -p "$2/e2e/$E2E_NAME" && cd "$2/e2e/$E2E_NAME" && pwd) || e2e_abort "cannot use $2"
  rm -f "$E2E_OUT"/*.png "$E2E_OUT"/*.log
  e2e_require Xvfb openbox trayer xdotool import convert xprop xwininfo
  E2E_TMP=$(mktemp -d "${TMPDIR:-/tmp}/nimbra-e2e.XXXXXX")
  trap e2e_cleanup EXIT
  trap 'exit 130' INT TERM HUP
}

# Records a process this library started; only these are ever stopped.
e2e_track() { E2E_PIDS+=("$1"); }

e2e_stop_pid() {
  local pid=$1 waited=0
  kill -0 "$pid" 2>/dev/null || return 0
  kill -TERM "$pid" 2>/dev/null
  while kill -0 "$pid" 2>/dev/null && ((waited < 30)); do
    sleep 0.1
    waited=$((waited + 1))
  done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

e2e_cleanup() {
  local i
  for ((i = ${#E2E_PIDS[@]} - 1; i >= 0; i--)); do e2e_stop_pid "${E2E_PIDS[i]}"; done
  if [[ -n ${E2E_TMP:-} && -d $E2E_TMP ]]; then
    if [[ -n ${E2E_KEEP:-} ]]; then e2e_log "kept $E2E_TMP"; else rm -rf "$E2E_TMP"; fi
  fi
}

# Whole milliseconds since the epoch; waits are bounded by the clock, not by
# a count of tries, so a loaded machine does not stretch them.
e2e_now_ms() { echo $((${EPOCHREALTIME/./} / 1000)); }

# e2e_wait_until SECONDS COMMAND [ARGS...]: polls every 0.1 s; the command's
# output is passed on from the try that succeeds.
e2e_wait_until() {
  local deadline=$(($(e2e_now_ms) + $1 * 1000))
  shift
  until "$@"; do
    (($(e2e_now_ms) >= deadline)) && return 1
    sleep 0.1
  done
  return 0
}

# --- the display, the window manager and the tray host

e2e_display_ready() {
  [[ -s $E2E_TMP/display ]] && DISPLAY=":$(head -n1 "$E2E_TMP/display")" xprop -root >/dev/null 2>&1
}

# e2e_start_display WIDTHxHEIGHTxDEPTH: Xvfb picks a free display itself
# (-displayfd) and says which once it accepts connections. The root window
# is white, so anything the program leaves unpainted or cuts away shows.
e2e_start_display() {
  local size=${1:-1280x800x24}
  Xvfb -displayfd 9 -screen 0 "$size" -nolisten tcp -wr -noreset 9>"$E2E_TMP/display" \
    >"$E2E_OUT/xvfb.log" 2>&1 &
  e2e_track $!
  e2e_wait_until 15 e2e_display_ready || e2e_abort "Xvfb did not start (see $E2E_OUT/xvfb.log)"
  DISPLAY=":$(head -n1 "$E2E_TMP/display")"
  export DISPLAY
  unset WAYLAND_DISPLAY
  export XDG_SESSION_TYPE=x11
  E2E_SCREEN_W=${size%%x*}
  local rest=${size#*x}
  E2E_SCREEN_H=${rest%%x*}
  e2e_log "display $DISPLAY, screen $size"
}

e2e_wm_ready() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

e2e_start_window_manager() {
  openbox --sm-disable >"$E2E_OUT/openbox.log" 2>&1 &
  e2e_track $!
  e2e_wait_until 15 e2e_wm_ready || e2e_abort "openbox did not start (see $E2E_OUT/openbox.log)"
}

e2e_tray_window() { xdotool search --onlyvisible --class trayer 2>/dev/null | head -n1; }
e2e_tray_ready() { [[ -n $(e2e_tray_window) ]]; }

# The tray host stands at the top left corner, clear of a centred window,
# so that a menu popped up from an icon fits on the screen as it is asked.
# Now and then openbox, just started, leaves the tray's dock window unmapped;
# a tray host that does not show up in time is stopped and started again.
e2e_start_tray() {
  local attempt
  for attempt in 1 2 3; do
    trayer --edge top --align left --widthtype pixel --width 120 --height 24 --SetDockType true \
      --SetPartialStrut false --transparent false --tint 0x404040 --expand true \
      >>"$E2E_OUT/trayer.log" 2>&1 &
    E2E_TRAY_PID=$!
    e2e_track "$E2E_TRAY_PID"
    if e2e_wait_until 8 e2e_tray_ready; then
      sleep 0.3 # it takes the tray selection after its window appears
      return 0
    fi
    e2e_log "trayer did not show its window (attempt $attempt); starting it again"
    e2e_stop_pid "$E2E_TRAY_PID"
  done
  e2e_abort "trayer did not start (see $E2E_OUT/trayer.log)"
}

# Display, window manager and tray host in one go.
e2e_start_session() {
  e2e_start_display "${1:-1280x800x24}"
  e2e_start_window_manager
  e2e_start_tray
}

# --- the program

# A private copy of the staged folder: the program writes beside itself.
e2e_copy_program() {
  E2E_APP_DIR=$E2E_TMP/program
  E2E_HOME=$E2E_TMP/home
  rm -rf "$E2E_APP_DIR"
  cp -a "$E2E_STAGE" "$E2E_APP_DIR" || e2e_abort "cannot copy $E2E_STAGE"
  mkdir -p "$E2E_HOME/.config"
}

# e2e_start_program [ARGS...]: runs the copy in the background with the
# private HOME; its output goes to program-<n>.log. The session bus points at
# nothing, so no bus daemon is started behind our back and the tray icon is
# the XEmbed one that trayer hosts.
e2e_start_program() {
  [[ -n ${E2E_APP_DIR:-} ]] || e2e_copy_program
  E2E_PROGRAM_STARTS=$((E2E_PROGRAM_STARTS + 1))
  E2E_PROGRAM_LOG=$E2E_OUT/program-$E2E_PROGRAM_STARTS.log
  (
    cd "$E2E_APP_DIR" || exit 1
    exec env HOME="$E2E_HOME" XDG_CONFIG_HOME="$E2E_HOME/.config" QT_QPA_PLATFORM=xcb \
      DBUS_SESSION_BUS_ADDRESS="unix:path=$E2E_TMP/no-session-bus" \
      XDG_CURRENT_DESKTOP= DESKTOP_SESSION= \
      LSAN_OPTIONS="suppressions=$E2E_SOURCE_DIR/tests/lsan.supp" \
      "$E2E_APP_DIR/NimbraWallpaper" "$@"
  ) >"$E2E_PROGRAM_LOG" 2>&1 &
  E2E_PROGRAM_PID=$!
  e2e_track "$E2E_PROGRAM_PID"
  e2e_log "program started (pid $E2E_PROGRAM_PID${*:+, arguments: $*})"
}

e2e_program_running() { kill -0 "$E2E_PROGRAM_PID" 2>/dev/null; }
e2e_program_gone() { ! e2e_program_running; }

# e2e_wait_program_exit SECONDS: true when the program ended in time; its
# exit status is then in E2E_PROGRAM_STATUS.
e2e_wait_program_exit() {
  e2e_wait_until "$1" e2e_program_gone || return 1
  wait "$E2E_PROGRAM_PID"
  E2E_PROGRAM_STATUS=$?
  return 0
}

# --- windows

# e2e_windows_of PID: the ids of its windows that are mapped.
e2e_windows_of() { xdotool search --onlyvisible --pid "$1" 2>/dev/null; }

# e2e_geometry WINDOW: "X Y WIDTH HEIGHT", X and Y on the screen.
e2e_geometry() {
  xwininfo -id "$1" 2>/dev/null | awk '
    /Absolute upper-left X:/ { x = $NF }
    /Absolute upper-left Y:/ { y = $NF }
    /^ *Width:/ { w = $NF }
    /^ *Height:/ { h = $NF }
    END { if (w != "") print x, y, w, h }'
}

# e2e_find_window PID WIDTH HEIGHT: a mapped window of the program of that size.
e2e_find_window() {
  local window x y w h
  for window in $(e2e_windows_of "$1"); do
    read -r x y w h <<<"$(e2e_geometry "$window")"
    if [[ ${w:-} == "$2" && ${h:-} == "$3" ]]; then
      echo "$window"
      return 0
    fi
  done
  return 1
}

# e2e_wait_window SECONDS PID WIDTH HEIGHT: prints the window's id.
e2e_wait_window() {
  local seconds=$1
  shift
  e2e_wait_until "$seconds" e2e_find_window "$@"
}

# e2e_tray_icon PID: the program's window that the tray host embeds.
e2e_tray_icon() {
  local tray window
  tray=$(e2e_tray_window)
  [[ -n $tray ]] || return 1
  local embedded
  embedded=$(xwininfo -tree -id "$tray" 2>/dev/null | awk '/^ +0x[0-9a-f]+/ { print $1 }')
  for window in $(xdotool search --pid "$1" 2>/dev/null); do
    if grep -qix "$(printf '0x%x' "$window")" <<<"$embedded"; then
      echo "$window"
      return 0
    fi
  done
  return 1
}

# e2e_wait_tray_icon SECONDS PID: prints the icon's window id.
e2e_wait_tray_icon() { e2e_wait_until "$1" e2e_tray_icon "$2"; }

# e2e_centre WINDOW: "X Y" of its middle on the screen.
e2e_centre() {
  local x y w h
  read -r x y w h <<<"$(e2e_geometry "$1")"
  echo "$((x + w / 2)) $((y + h / 2))"
}

# e2e_frame_extents WINDOW: the window manager's decoration sizes
# "left right top bottom" (all 0 for a window without a frame).
e2e_frame_extents() {
  xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= *//p' | tr -d ','
}

# --- mouse

e2e_move() { xdotool mousemove --sync "$1" "$2"; }

# e2e_click X Y [BUTTON]
e2e_click() {
  e2e_move "$1" "$2"
  sleep 0.1
  xdotool click "${3:-1}"
}

e2e_double_click() {
  e2e_move "$1" "$2"
  sleep 0.1
  xdotool click --repeat 2 --delay 120 1
}

# e2e_drag X1 Y1 X2 Y2: left button down at the first point, moved there in
# small steps, released at the second.
e2e_drag() {
  local x1=$1 y1=$2 x2=$3 y2=$4 step steps=12
  e2e_move "$x1" "$y1"
  sleep 0.1
  xdotool mousedown 1
  sleep 0.3
  for ((step = 1; step <= steps; step++)); do
    xdotool mousemove "$((x1 + (x2 - x1) * step / steps))" "$((y1 + (y2 - y1) * step / steps))"
    sleep 0.05
  done
  sleep 0.2
  xdotool mouseup 1
  sleep 0.3
}

# --- the screen

# e2e_screenshot NAME: the whole screen as $E2E_OUT/NAME.png; prints the path.
e2e_screenshot() {
  local file=$E2E_OUT/$1.png
  import -window root "$file" 2>/dev/null || return 1
  echo "$file"
}

# e2e_pixel_of FILE X Y: "R G B" of one pixel of a picture, 0..255.
e2e_pixel_of() {
  convert "$1" -crop "1x1+$2+$3" +repage -depth 8 txt:- 2>/dev/null |
    sed -n 's/.*#\([0-9A-Fa-f]\{6\}\).*/\1/p' | head -n1 |
    { read -r hex && printf '%d %d %d\n' "0x${hex:0:2}" "0x${hex:2:2}" "0x${hex:4:2}"; }
}

# e2e_pixel X Y: "R G B" of a pixel on the screen now.
e2e_pixel() {
  local file=$E2E_TMP/pixel.png
  import -window root -crop "1x1+$1+$2" "$file" 2>/dev/null || return 1
  e2e_pixel_of "$file" 0 0
}

# e2e_colour_near "R G B" "R G B" [TOLERANCE]: each channel within the tolerance.
e2e_colour_near() {
  local tolerance=${3:-8}
  read -r r1 g1 b1 <<<"$1"
  read -r r2 g2 b2 <<<"$2"
  local d
  for d in $((r1 - r2)) $((g1 - g2)) $((b1 - b2)); do
    ((d < 0)) && d=$((-d))
    ((d > tolerance)) && return 1
  done
  return 0
}

# e2e_sample_category "R G B": the local sample category (1..5) whose colour
# family the pixel belongs to, 0 for none. Same families and limits as
# tools/make-samples/SamplePictures.h.
e2e_sample_category() {
  read -r r g b <<<"$1"
  awk -v r="$r" -v g="$g" -v b="$b" 'BEGIN {
    max = r; if (g > max) max = g; if (b > max) max = b
    min = r; if (g < min) min = g; if (b < min) min = b
    if (max == 0 || max == min) { print 0; exit }
    s = (max - min) / max; v = max / 255
    if (s < 0.27 || v < 0.18) { print 0; exit }
    if (max == r) h = 60 * (g - b) / (max - min)
    else if (max == g) h = 60 * (2 + (b - r) / (max - min))
    else h = 60 * (4 + (r - g) / (max - min))
    if (h < 0) h += 360
    split("125 45 205 275 350", hue, " ")
    for (n = 1; n <= 5; n++) {
      d = h - hue[n]; if (d < 0) d = -d; if (d > 180) d = 360 - d
      if (d <= 27) { print n; exit }
    }
    print 0
  }'
}
