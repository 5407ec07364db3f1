#!/usr/bin/env bash
# Takes the screenshots that the AppStream metainfo shows, of the real window
# under Xvfb on the sample store: the main page in English and in Chinese,
# and the settings page. Commit what it writes to resources/screenshots/.
# Arguments: the staged program folder (build-release/stage), the folder the
# pictures go to. Needs Xvfb, xdotool and ImageMagick's import.
set -euo pipefail
[[ $# -eq 2 ]] || { echo "usage: take.sh STAGED-FOLDER OUTPUT-FOLDER" >&2; exit 2; }
stage=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
readonly WINDOW_W=799 WINDOW_H=599
# The Setting tab and the rotation list's first line, in the window.
readonly SETTING_TAB_X=317 SETTING_TAB_Y=68 FIRST_LINE_X=150 FIRST_LINE_Y=248
# The rotation list shows where the pictures are: a short folder reads best.
readonly FOLDER=/tmp/nimbra
[[ ! -e $FOLDER ]] || { echo "take.sh: $FOLDER is in the way; remove it first" >&2; exit 1; }

work=$(mktemp -d)
xvfb_pid=""
program_pid=""
cleanup() {
  [[ -n $program_pid ]] && kill "$program_pid" 2>/dev/null
  [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work" "$FOLDER"
}
trap cleanup EXIT

display=:$((200 + $$ % 500))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.2; done

# The program's window, once it is shown at its size.
main_window() {
  local id
  for _ in $(seq 100); do
    for id in $(xdotool search --onlyvisible --pid "$program_pid" 2>/dev/null); do
      eval "$(xdotool getwindowgeometry --shell "$id")"
      [[ $WIDTH == "$WINDOW_W" && $HEIGHT == "$WINDOW_H" ]] && { echo "$id"; return 0; }
    done
    sleep 0.2
  done
  return 1
}

# shoot LANGUAGE PAGE NAME: the program in a fresh copy of the staged folder.
shoot() {
  local language=$1 page=$2 name=$3 folder=$FOLDER window
  rm -rf "$folder"
  cp -a "$stage" "$folder"
  cp "$source_dir/resources/lang/$language/lang.ini" "$folder/lang.ini"
  mkdir -p "$work/home-$name/.config" "$work/runtime-$name"
  chmod 700 "$work/runtime-$name"
  (cd "$folder" && HOME=$work/home-$name XDG_CONFIG_HOME=$work/home-$name/.config \
    XDG_DATA_HOME=$work/home-$name/.local/share XDG_RUNTIME_DIR=$work/runtime-$name \
    DBUS_SESSION_BUS_ADDRESS=unix:path=$work/no-bus QT_QPA_PLATFORM=xcb exec ./NimbraWallpaper) \
    >"$work/$name.log" 2>&1 &
  program_pid=$!
  window=$(main_window) || { echo "take.sh: no window for $name (see below)" >&2; cat "$work/$name.log" >&2; exit 1; }
  if [[ $page == settings ]]; then
    xdotool mousemove --window "$window" "$SETTING_TAB_X" "$SETTING_TAB_Y" click 1
    sleep 1
    xdotool mousemove --window "$window" "$FIRST_LINE_X" "$FIRST_LINE_Y" click 1
  fi
  # The thumbnails are decoded on workers.
  sleep 3
  import -window "$window" -strip "$out/$name.png"
  kill "$program_pid"
  wait "$program_pid" 2>/dev/null || true
  program_pid=""
  echo "$out/$name.png"
}

shoot en main main-en
shoot zh_CN main main-zh_CN
shoot en settings settings-en
