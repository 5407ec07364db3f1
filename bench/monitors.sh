#!/usr/bin/env bash
# A picture for one of two monitors on a bare X server, as whole processes:
# `NimbraWallpaper --set FILE --monitor 2` against `xwallpaper --output NAME
# --stretch FILE`, the two taking turns, on two 1920x1080 monitors side by
# side (Xephyr with Xinerama, nested in Xvfb) with a 1600x1200 JPEG. Each
# figure is the median of RUNS (default 7) wall-clock runs, taken back to
# back and again with the server left to settle before each run.
#
#   bench/monitors.sh [BUILD_DIR]     (default build-bench; a Release build)
#
# xwallpaper is installed from Debian when missing.
set -euo pipefail

build=${1:-build-bench}
runs=${RUNS:-7}
here=$(cd "$(dirname "$0")/.." && pwd)
[[ $build == /* ]] || build=$here/$build

# shellcheck source=bench/install-tools.sh
source "$here/bench/install-tools.sh"
install_missing_tools xwallpaper Xvfb Xephyr convert

[[ -x $build/stage/NimbraWallpaper ]] || { echo "no $build/stage/NimbraWallpaper (build the program)" >&2; exit 2; }
work=$(mktemp -d /tmp/nimbra-bench-monitors.XXXXXX)
pids=()
trap 'for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done; rm -rf "$work"' EXIT
cp -a "$build/stage" "$work/stage"
mkdir -p "$work/home/.config" "$work/runtime" && chmod 700 "$work/runtime"

# start_server NAME COMMAND...: an X server that says its display on fd 9;
# its display goes to server_display.
start_server() {
  local name=$1
  shift
  "$@" -displayfd 9 -nolisten tcp -noreset 9>"$work/$name.display" 2>"$work/$name.log" &
  pids+=($!)
  for _ in $(seq 150); do
    [[ -s $work/$name.display ]] && break
    sleep 0.1
  done
  [[ -s $work/$name.display ]] || { echo "$name did not start: $(tail -n1 "$work/$name.log")" >&2; exit 1; }
  server_display=":$(head -n1 "$work/$name.display")"
}
start_server host Xvfb -screen 0 3840x1080x24
export DISPLAY=$server_display
start_server session Xephyr +xinerama -screen 1920x1080 -screen 1920x1080
DISPLAY=$server_display

picture=$build/bench-pictures/plasma-1600x1200.jpg
if [[ ! -s $picture ]]; then
  mkdir -p "$(dirname "$picture")"
  convert -seed 7 -size 1600x1200 plasma:fractal -quality 90 "$picture.tmp.jpg" && mv "$picture.tmp.jpg" "$picture"
fi

# The program's private folders, so that no running copy takes the command.
ours() {
  HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/runtime XDG_CURRENT_DESKTOP="" \
    DESKTOP_SESSION="" "$work/stage/NimbraWallpaper" --set "$picture" --monitor 2
}
# xwallpaper's name of the second monitor: the last of its outputs.
theirs_output=$(xrandr --listmonitors 2>/dev/null | awk 'NR > 1 { name = $NF } END { print name }')
theirs() { xwallpaper --output "$theirs_output" --stretch "$picture"; }

run_us() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>"$work/err" || { echo "failed: $* ($(tail -n1 "$work/err"))" >&2; echo "-"; return; }
  end=$(date +%s%N)
  echo $(((end - start) / 1000))
}
median_ms() {
  if grep -q -- - "$1"; then echo "-"; return; fi
  sort -n "$1" | sed -n "$((runs / 2 + 1))p" | awk '{ printf "%.1f", $1 / 1000 }'
}

ours >/dev/null 2>&1 || { echo "the program cannot set the picture: $(ours 2>&1 | tail -n1)" >&2; exit 1; }
theirs >/dev/null 2>&1 || echo "xwallpaper --output $theirs_output: $(theirs 2>&1 | tail -n1)" >&2
: >"$work/ours" && : >"$work/theirs"
: >"$work/ours-settled" && : >"$work/theirs-settled"
# The server goes on drawing for a while after a tool has returned (Xephyr
# copies the new background into its own window), and a tool started at once
# shares the processors with that. Back to back, each tool is timed with what
# the other left; settled, each starts once the server has been idle for
# SETTLE seconds (default 0.3).
settle=${SETTLE:-0.3}
for _ in $(seq "$runs"); do
  run_us ours >>"$work/ours"
  run_us theirs >>"$work/theirs"
done
for _ in $(seq "$runs"); do
  sleep "$settle"
  run_us ours >>"$work/ours-settled"
  sleep "$settle"
  run_us theirs >>"$work/theirs-settled"
done
echo "two 1920x1080 monitors (Xephyr, Xinerama), 1600x1200 JPEG on monitor 2; median of $runs whole-process runs, ms"
echo "(load average: $(cut -d" " -f1-3 /proc/loadavg))"
printf '%-50s %12s %12s\n' "" "back to back" "settled"
printf '%-50s %12s %12s\n' "NimbraWallpaper --set FILE --monitor 2" "$(median_ms "$work/ours")" \
  "$(median_ms "$work/ours-settled")"
printf '%-50s %12s %12s\n' "xwallpaper --output $theirs_output --stretch FILE" "$(median_ms "$work/theirs")" \
  "$(median_ms "$work/theirs-settled")"
ratio() { awk -v a="$(median_ms "$1")" -v b="$(median_ms "$2")" 'BEGIN { if (a > 0 && b > 0) printf "%.2f", b / a }'; }
printf '%-50s %12s %12s\n' "xwallpaper / ours" "$(ratio "$work/ours" "$work/theirs")" \
  "$(ratio "$work/ours-settled" "$work/theirs-settled")"
