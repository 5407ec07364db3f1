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
# Exit codes: 0 passed, 1 failed, 77 skipped (a tool is missing or does not
# run).
#
# Whatever the program does takes its time, so a check waits for its
# condition, bounded by the clock (e2e_expect_within), and a check that
# something does not happen first waits for a sign that the program has done
# the step in question.

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

# e2e_expect_within SECONDS DESCRIPTION COMMAND [ARGS...]: passes as soon as
# the command succeeds, tried again and again; fails when it has not
# succeeded within that many seconds.
e2e_expect_within() {
  local seconds=$1 description=$2
  shift 2
  if e2e_wait_until "$seconds" "$@"; then
    e2e_pass "$description"
  else
    e2e_fail "$description (not within $seconds s)"
  fi
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

# e2e_tool_answers TOOL: the tool (a name on PATH or a path) starts and
# answers a harmless question; otherwise E2E_TOOL_PROBLEM says how it failed.
# Being installed is not enough: a tool whose shared libraries are missing
# fails at every call.
e2e_tool_answers() {
  local question output status
  case ${1##*/} in
    Xvfb | Xephyr) question=-help ;;
    grim) question=-h ;;
    desktop-file-validate) question=--help ;;
    nginx) question=-v ;;
    import | convert | compare | xwininfo | xprop | xwd | xev) question=-version ;;
    *) question=--version ;;
  esac
  output=$(timeout 10 "$1" "$question" 2>&1 </dev/null)
  status=$?
  ((status == 0)) && return 0
  E2E_TOOL_PROBLEM="\"${1##*/} $question\" ended with status $status${output:+: $(tail -n1 <<<"$output")}"
  return 1
}

# Tools that answer nothing, not even their version, without a display;
# e2e_start_display asks them once the private display is up.
e2e_needs_display() { [[ $1 == xprop || $1 == trayer || $1 == xwd ]]; }

# e2e_require TOOL...: skips the script, saying why, unless every tool is
# installed and runs.
e2e_require() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null 2>&1 || e2e_skip "$tool is not installed (see scripts/packages/test.txt)"
    if e2e_needs_display "$tool" && [[ -z ${E2E_DISPLAY_UP:-} ]]; then continue; fi
    e2e_tool_answers "$tool" || e2e_skip "$tool is installed but does not run: $E2E_TOOL_PROBLEM (see scripts/packages/test.txt)"
  done
}

# e2e_require_nginx: E2E_NGINX is an nginx that runs (it is often outside
# a user's PATH), or the script skips, saying why.
e2e_require_nginx() {
  E2E_NGINX=$(command -v nginx 2>/dev/null) || E2E_NGINX=/usr/sbin/nginx
  [[ -x $E2E_NGINX ]] || e2e_skip "nginx is not installed (see scripts/packages/test.txt)"
  e2e_tool_answers "$E2E_NGINX" ||
    e2e_skip "nginx is installed but does not run: $E2E_TOOL_PROBLEM (see scripts/packages/test.txt)"
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
  e2e_require Xvfb openbox trayer xdotool import convert xprop xwininfo xev
  E2E_TMP=$(mktemp -d "${TMPDIR:-/tmp}/nimbra-e2e.XXXXXX")
  trap e2e_cleanup EXIT
  trap 'exit 130' INT TERM HUP
}

# Records a process this library started; only these are ever stopped.
e2e_track() { E2E_PIDS+=("$1"); }

e2e_pid_gone() { ! kill -0 "$1" 2>/dev/null; }

e2e_stop_pid() {
  local pid=$1
  e2e_pid_gone "$pid" && return 0
  kill -TERM "$pid" 2>/dev/null
  e2e_wait_until 3 e2e_pid_gone "$pid" || kill -KILL "$pid" 2>/dev/null || true
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

e2e_display_named() { [[ -s $E2E_TMP/display ]]; }
e2e_display_ready() { xprop -root >/dev/null 2>&1; }

# e2e_start_display WIDTHxHEIGHTxDEPTH: Xvfb picks a free display itself
# (-displayfd) and says which once it accepts connections. The root window
# is white, so anything the program leaves unpainted or cuts away shows.
e2e_start_display() {
  local size=${1:-1280x800x24}
  # A number left from an earlier display must not be read as this one's.
  rm -f "$E2E_TMP/display"
  Xvfb -displayfd 9 -screen 0 "$size" -nolisten tcp -wr -noreset 9>"$E2E_TMP/display" \
    >"$E2E_OUT/xvfb.log" 2>&1 &
  e2e_track $!
  e2e_wait_until 15 e2e_display_named || e2e_abort "Xvfb did not start (see $E2E_OUT/xvfb.log)"
  DISPLAY=":$(head -n1 "$E2E_TMP/display")"
  export DISPLAY
  unset WAYLAND_DISPLAY
  export XDG_SESSION_TYPE=x11
  E2E_DISPLAY_UP=1
  e2e_require xprop trayer
  e2e_wait_until 15 e2e_display_ready || e2e_abort "Xvfb does not answer on $DISPLAY (see $E2E_OUT/xvfb.log)"
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

# A tray host announces that it has taken the tray selection with a MANAGER
# message to the root window; a program that starts before that finds no
# tray. xev, watching the root window, shows when the message has come.
E2E_ROOT_EVENTS=""
e2e_root_events_seen() {
  xprop -root -f _E2E_PROBE 8s -set _E2E_PROBE seen 2>/dev/null
  grep -q '(_E2E_PROBE)' "$E2E_ROOT_EVENTS"
}
e2e_tray_announcements() { grep -c '(MANAGER)' "$E2E_ROOT_EVENTS"; }
e2e_tray_announced() { (($(e2e_tray_announcements) > $1)); }
e2e_tray_up() { e2e_tray_announced "$1" && e2e_tray_ready; }

# The tray host stands at the top left corner, clear of a centred window,
# so that a menu popped up from an icon fits on the screen as it is asked.
# Now and then openbox, just started, leaves the tray's dock window unmapped;
# a tray host that does not show up in time is stopped and started again.
e2e_start_tray() {
  local attempt before watcher
  E2E_ROOT_EVENTS=$E2E_TMP/root-events-${DISPLAY#:}.txt
  xev -root -event structure -event property >"$E2E_ROOT_EVENTS" 2>&1 &
  watcher=$!
  e2e_track "$watcher"
  e2e_wait_until 10 e2e_root_events_seen || e2e_abort "xev reports no events of the root window"
  for attempt in 1 2 3; do
    before=$(e2e_tray_announcements)
    trayer --edge top --align left --widthtype pixel --width 120 --height 24 --SetDockType true \
      --SetPartialStrut false --transparent false --tint 0x404040 --expand true \
      >>"$E2E_OUT/trayer.log" 2>&1 &
    E2E_TRAY_PID=$!
    e2e_track "$E2E_TRAY_PID"
    if e2e_wait_until 8 e2e_tray_up "$before"; then
      e2e_stop_pid "$watcher"
      return 0
    fi
    e2e_log "trayer did not show its window or take the tray (attempt $attempt); starting it again"
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

# e2e_sway_user: sway will not run as root, so as root the array E2E_RUN_AS
# runs a command as the user "nobody" (it is empty for any other user); the
# script is skipped when that cannot be done.
e2e_sway_user() {
  E2E_RUN_AS=()
  ((EUID == 0)) || return 0
  command -v setpriv >/dev/null 2>&1 || e2e_skip "sway refuses to run as root, and setpriv (util-linux) is missing"
  id nobody >/dev/null 2>&1 || e2e_skip "sway refuses to run as root, and there is no user \"nobody\" to run it"
  E2E_RUN_AS=(setpriv --reuid="$(id -u nobody)" --regid="$(id -g nobody)" --clear-groups --)
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

# e2e_enter_program_env: (in a subshell) the program copy's folder and
# environment: the private HOME and runtime folder. The session bus points
# at nothing, so no bus daemon is started behind our back and the tray icon
# is the XEmbed one that trayer hosts. The private runtime folder keeps the
# copy from finding a program that another script (or a user) runs.
e2e_enter_program_env() {
  mkdir -p "$E2E_TMP/runtime" && chmod 700 "$E2E_TMP/runtime" && cd "$E2E_APP_DIR" || return 1
  export HOME="$E2E_HOME" XDG_CONFIG_HOME="$E2E_HOME/.config" XDG_DATA_HOME="$E2E_HOME/.local/share" \
    XDG_RUNTIME_DIR="$E2E_TMP/runtime" QT_QPA_PLATFORM=xcb \
    DBUS_SESSION_BUS_ADDRESS="unix:path=$E2E_TMP/no-session-bus" \
    XDG_CURRENT_DESKTOP="" DESKTOP_SESSION="" \
    LANGUAGE="" LC_MESSAGES="" \
    LSAN_OPTIONS="suppressions=$E2E_SOURCE_DIR/tests/lsan.supp"
}

# e2e_start_program [ARGS...]: runs the copy in the background; its output
# goes to program-<n>.log.
e2e_start_program() {
  [[ -n ${E2E_APP_DIR:-} ]] || e2e_copy_program
  E2E_PROGRAM_STARTS=$((E2E_PROGRAM_STARTS + 1))
  E2E_PROGRAM_LOG=$E2E_OUT/program-$E2E_PROGRAM_STARTS.log
  (e2e_enter_program_env && exec "${E2E_PROGRAM:-$E2E_APP_DIR/NimbraWallpaper}" "$@") >"$E2E_PROGRAM_LOG" 2>&1 &
  E2E_PROGRAM_PID=$!
  e2e_track "$E2E_PROGRAM_PID"
  e2e_log "program started (pid $E2E_PROGRAM_PID${*:+, arguments: $*})"
}

# e2e_run_command SECONDS [ARGS...]: a start of the copy that is expected to
# end by itself (a command, or a start that hands over to the running
# program); its exit status goes to E2E_COMMAND_STATUS (124 when it did not
# end in time), its standard output and error to E2E_COMMAND_OUT and
# E2E_COMMAND_ERR. E2E_PROGRAM_LOCALE, when set, is the locale it runs in;
# the array E2E_COMMAND_ENV, when set, holds more arguments of env for it.
e2e_run_command() {
  local seconds=$1
  shift
  E2E_COMMAND_OUT=$E2E_TMP/command.out E2E_COMMAND_ERR=$E2E_TMP/command.err
  # The locale goes through env, so that this shell does not try to load it.
  (e2e_enter_program_env && exec env ${E2E_PROGRAM_LOCALE:+LC_ALL=$E2E_PROGRAM_LOCALE LANG=$E2E_PROGRAM_LOCALE} \
    ${E2E_COMMAND_ENV[@]+"${E2E_COMMAND_ENV[@]}"} timeout -k 5 "$seconds" "${E2E_PROGRAM:-$E2E_APP_DIR/NimbraWallpaper}" "$@") \
    >"$E2E_COMMAND_OUT" 2>"$E2E_COMMAND_ERR"
  E2E_COMMAND_STATUS=$?
  cat "$E2E_COMMAND_ERR" >>"$E2E_OUT/commands.log"
  e2e_log "NimbraWallpaper $* ended with $E2E_COMMAND_STATUS"
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

# e2e_icon_painted ICON: the icon shows a picture, not a plain area. Only the
# program's running event loop paints it, so this is a sign that the program
# is past its start.
e2e_icon_painted() {
  local x y w h colours
  read -r x y w h <<<"$(e2e_geometry "$1")"
  [[ -n ${w:-} ]] || return 1
  colours=$(import -window root -crop "${w}x${h}+$x+$y" +repage -format '%k' info: 2>/dev/null)
  ((${colours:-0} > 4))
}

# e2e_window_steady WINDOW: a picture of the window agrees with the one the
# previous call took: it is not being painted or filled any more. Start a
# wait with e2e_window_steady_reset.
e2e_window_steady_reset() { rm -f "$E2E_TMP/steady-before.ppm" "$E2E_TMP/steady-now.ppm"; }
e2e_window_steady() {
  import -window "$1" "ppm:$E2E_TMP/steady-now.ppm" 2>/dev/null || return 1
  if [[ -f $E2E_TMP/steady-before.ppm ]] && cmp -s "$E2E_TMP/steady-before.ppm" "$E2E_TMP/steady-now.ppm"; then
    return 0
  fi
  mv "$E2E_TMP/steady-now.ppm" "$E2E_TMP/steady-before.ppm"
  return 1
}

# e2e_wait_steady SECONDS WINDOW
e2e_wait_steady() {
  e2e_window_steady_reset
  e2e_wait_until "$1" e2e_window_steady "$2"
}

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

# e2e_pixels_of FILE X Y [X Y...]: "R G B" of each point, one line each.
e2e_pixels_of() {
  local file=$1 format=""
  shift
  while (($# >= 2)); do
    format+="%[hex:p{$1,$2}]\n"
    shift 2
  done
  convert "$file" -format "$format" info: 2>/dev/null |
    while read -r hex; do printf '%d %d %d\n' "0x${hex:0:2}" "0x${hex:2:2}" "0x${hex:4:2}"; done
}

# e2e_text_bands FILE X Y W H "R G B" ["R G B"]: the middle row, on the
# screen, of each run of at least 4 pixel rows of the box that hold anything
# besides the given background colours, one line each.
e2e_text_bands() {
  local file=$1 x=$2 y=$3 w=$4 h=$5 background
  local fills=()
  shift 5
  for background in "$@"; do fills+=(-opaque "rgb(${background// /,})"); done
  convert "$file" -crop "${w}x${h}+$x+$y" +repage -fuzz 6% -fill black "${fills[@]}" -fill white +opaque black \
    -colorspace Gray -scale "1x$h!" -depth 16 txt:- 2>/dev/null |
    awk -F'[(),: ]+' -v top="$y" '
      NR > 1 {
        row = $2; ink = ($4 + 0) > 0
        if (ink && start < 0) start = row
        if (!ink && start >= 0) { if (row - start >= 4) print top + int((start + row - 1) / 2); start = -1 }
      }
      BEGIN { start = -1 }
      END { if (start >= 0 && row + 1 - start >= 4) print top + int((start + row) / 2) }'
}

# --- the tray menu

# e2e_other_window PID MAIN ICON: a mapped window of the program besides its
# main window and its tray icon (the tray menu, a dialog, a message box).
e2e_other_window() {
  local window
  for window in $(e2e_windows_of "$1"); do
    [[ $window == "$2" || $window == "$3" ]] && continue
    echo "$window"
    return 0
  done
  return 1
}

# e2e_menu_shows_four_lines MENU: a screenshot of the menu shows four lines
# of text; E2E_MENU_BANDS holds their rows on the screen, E2E_MENU_X and
# E2E_MENU_W the menu's left and width.
E2E_MENU_BANDS=()
e2e_menu_shows_four_lines() {
  local menu_y menu_h shot background
  read -r E2E_MENU_X menu_y E2E_MENU_W menu_h <<<"$(e2e_geometry "$1")"
  [[ -n ${menu_h:-} ]] || return 1
  shot=$(e2e_screenshot tray-menu) || return 1
  # The menu's own colour, below the last item's text; a hovered item is a
  # band of its own colour.
  background=$(e2e_pixels_of "$shot" $((E2E_MENU_X + E2E_MENU_W - 4)) $((menu_y + menu_h - 4)))
  mapfile -t E2E_MENU_BANDS < <(e2e_text_bands "$shot" $((E2E_MENU_X + 2)) $((menu_y + 2)) \
    $((E2E_MENU_W - 4)) $((menu_h - 4)) "$background" "24 123 141")
  ((${#E2E_MENU_BANDS[@]} == 4))
}

# e2e_window_closed WINDOW: the program's window is not mapped any more.
e2e_window_closed() { ! e2e_windows_of "$E2E_PROGRAM_PID" | grep -qx "$1"; }

# e2e_tray_menu_item MAIN ICON N: opens the program's tray menu and clicks
# its Nth line of text ("Open", "Prev wallpaper", "Next wallpaper", "Exit");
# true once the menu has closed again, which the program's event loop does.
e2e_tray_menu_item() {
  local main=$1 icon=$2 icon_x icon_y menu
  read -r icon_x icon_y <<<"$(e2e_centre "$icon")"
  e2e_click "$icon_x" "$icon_y" 3
  menu=$(e2e_wait_until 5 e2e_other_window "$E2E_PROGRAM_PID" "$main" "$icon") || {
    e2e_fail "a right click on the tray icon opened no menu"
    return 1
  }
  # The menu may still be painting its items when its window appears.
  if ! e2e_wait_until 5 e2e_menu_shows_four_lines "$menu"; then
    e2e_fail "the tray menu shows ${#E2E_MENU_BANDS[@]} lines of text, not 4"
    xdotool key Escape
    return 1
  fi
  e2e_click $((E2E_MENU_X + E2E_MENU_W / 2)) "${E2E_MENU_BANDS[$3 - 1]}"
  # A box that the item opens at once may stand where the menu was.
  e2e_wait_until 5 e2e_window_closed "$menu" || {
    e2e_fail "the tray menu stayed open after a click on an item"
    return 1
  }
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
  import -window root -crop "1x1+$1+$2" +repage "$file" 2>/dev/null || return 1
  e2e_pixel_of "$file" 0 0
}

# e2e_hex_colour_near SHOWN WANTED: e2e_colour_near for colours written as
# RRGGBB (more digits after them are passed over), within 15 a channel, as
# JPEG coding and a stretch leave them.
e2e_hex_colour_near() {
  local shown=$1 wanted=$2
  e2e_colour_near "$((16#${shown:0:2})) $((16#${shown:2:2})) $((16#${shown:4:2}))" \
    "$((16#${wanted:0:2})) $((16#${wanted:2:2})) $((16#${wanted:4:2}))" 15
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

# --- the thumbnail grid

# e2e_slot_centre SHAPE WIN_X WIN_Y N: the middle of thumbnail N (1..6) of
# the wallpaper page on the screen, for the "normal" or "widescreen" layout
# of the slots. The page stands at 20,88 in the window, its grid panel at
# 194,5 in the page.
e2e_slot_centre() {
  local n=$(($4 - 1)) x y
  if [[ $1 == widescreen ]]; then
    local lefts=(8 191 374) tops=(32 208)
    x=$((lefts[n % 3] + 7 + 80)) y=$((tops[n / 3] + 20 + 50))
  else
    local lefts=(18 197 376) tops=(29 205)
    x=$((lefts[n % 3] + 9 + 72)) y=$((tops[n / 3] + 18 + 55))
  fi
  echo "$(($2 + 20 + 194 + x)) $(($3 + 88 + 5 + y))"
}

# e2e_thumbnails_shown WINDOW SHAPE CATEGORY: the page shows the first
# thumbnails of a local category of the program's store: the middle of each
# slot they fill is in the category's colours. The screenshot stays as
# thumbnails.png.
e2e_thumbnails_shown() {
  local window=$1 shape=$2 category=$3 count shot n x y win_x win_y
  count=$(find "$E2E_APP_DIR/wallpaper/$shape/local/$category" -maxdepth 1 -type f -iname 's_*' \
    \( -iname '*.jpg' -o -iname '*.bmp' \) | wc -l)
  ((count > 6)) && count=6
  ((count > 0)) || return 1
  read -r win_x win_y _ _ <<<"$(e2e_geometry "$window")"
  [[ -n ${win_y:-} ]] || return 1
  shot=$(e2e_screenshot thumbnails) || return 1
  for ((n = 1; n <= count; n++)); do
    read -r x y <<<"$(e2e_slot_centre "$shape" "$win_x" "$win_y" "$n")"
    [[ $(e2e_sample_category "$(e2e_pixel_of "$shot" "$x" "$y")") == "$category" ]] || return 1
  done
}

# --- the root window's background, as the bare X11 wallpaper sets it

e2e_root_pixmap() { xprop -root _XROOTPMAP_ID 2>/dev/null | sed -n 's/.*# *//p'; }
e2e_root_pixmap_changed_from() { [[ -n $(e2e_root_pixmap) && $(e2e_root_pixmap) != "$1" ]]; }

# e2e_picture_distance SHOT PICTURE: how far the strips of the screenshot
# that a centred 799x599 window leaves free (right of it and below it) are
# from the picture stretched to the screen (normalised root mean square, 0..1).
e2e_picture_distance() {
  local shot=$1 picture=$2 stretched=$E2E_TMP/stretched.png total=0 strip value
  local w=$E2E_SCREEN_W h=$E2E_SCREEN_H
  local right="$((w - (w + 799) / 2 - 2))x${h}+$(((w + 799) / 2 + 2))+0"
  local below="${w}x$((h - (h + 599) / 2 - 2))+0+$(((h + 599) / 2 + 2))"
  convert "$picture" -resize "${w}x${h}!" "$stretched" || return 1
  for strip in "$right" "$below"; do
    convert "$shot" -crop "$strip" +repage "$E2E_TMP/shown-strip.png"
    convert "$stretched" -crop "$strip" +repage "$E2E_TMP/expected-strip.png"
    value=$(compare -metric RMSE "$E2E_TMP/shown-strip.png" "$E2E_TMP/expected-strip.png" null: 2>&1 |
      sed -n 's/.*(\([0-9.e-]*\)).*/\1/p')
    total=$(awk -v a="$total" -v b="${value:-1}" 'BEGIN { print a + b }')
  done
  echo "$total"
}

# e2e_screen_shows NAME PICTURE: a new screenshot, NAME.png, shows the large
# picture stretched, closely and closer than any other large picture of its
# folder.
e2e_screen_shows() {
  local shot
  shot=$(e2e_screenshot "$1") || return 1
  e2e_closest_picture_is "$shot" "$2"
}

# e2e_closest_picture_is SHOT PICTURE: of the large pictures in PICTURE's
# folder, PICTURE is the one the screenshot comes closest to, and closely.
e2e_closest_picture_is() {
  local shot=$1 want=$2 d best=9 best_file="" file
  for file in "${want%/*}"/[lL]_*; do
    d=$(e2e_picture_distance "$shot" "$file")
    if awk -v d="$d" -v b="$best" 'BEGIN { exit !(d < b) }'; then
      best=$d
      best_file=$file
    fi
  done
  e2e_log "closest picture: ${best_file##*/} (distance $best), expected ${want##*/}"
  [[ $best_file == "$want" ]] && awk -v d="$best" 'BEGIN { exit !(d < 0.12) }'
}
