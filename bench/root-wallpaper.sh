#!/usr/bin/env bash
# The bare-X11 background, as whole processes: this program against
# `xwallpaper --stretch` and `hsetroot -fill`, on Xvfb at 1920x1080 and
# 3840x2160 (24-bit), with a 1600x1200 and a 6000x4000 JPEG. Each figure is
# the median of RUNS (default 7) wall-clock runs of the whole process, the
# tools taking turns. Then
# the peak resident memory of each tool for a 10000x10000 (100 MP) JPEG on
# the 3840x2160 screen.
#
#   bench/root-wallpaper.sh [BUILD_DIR]     (a Release build, default build-bench)
#
# Ours is `NimbraWallpaper --set FILE` when the built program offers --set
# (run from a copy of its stage folder), else the backend's own bench tool
# bench/bench-set-root. xwallpaper and hsetroot are installed from Debian
# when missing.
set -euo pipefail

build=${1:-build-bench}
runs=${RUNS:-7}
here=$(cd "$(dirname "$0")/.." && pwd)

# shellcheck source=bench/install-tools.sh
source "$here/bench/install-tools.sh"
install_missing_tools xwallpaper hsetroot Xvfb convert
[[ -x /usr/bin/time ]] || { echo "missing: /usr/bin/time (package time)" >&2; exit 2; }

work=$(mktemp -d /tmp/nimbra-bench-root.XXXXXX)
server_pid=
stop_server() {
  if [[ -n $server_pid ]]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
    server_pid=
  fi
}
trap 'stop_server; rm -rf "$work"' EXIT

ours=("$here/$build/bench/bench-set-root")
[[ $build == /* ]] && ours=("$build/bench/bench-set-root")
stage=$(dirname "${ours[0]}")/../stage
if [[ -x $stage/NimbraWallpaper ]]; then
  cp -a "$stage" "$work/stage"
  # Without a display, a program that does not know --help ends at once.
  if env -u DISPLAY -u WAYLAND_DISPLAY timeout 20 "$work/stage/NimbraWallpaper" --help 2>&1 </dev/null |
    grep -q -- '--set'; then
    ours=("$work/stage/NimbraWallpaper" --set)
  fi
fi
[[ -x ${ours[0]} ]] || { echo "no ${ours[0]} (build the bench-set-root target)" >&2; exit 2; }

# Photo-like pictures (a plasma fractal), made once and kept in the build folder.
pictures=$here/$build/bench-pictures
[[ $build == /* ]] && pictures=$build/bench-pictures
mkdir -p "$pictures"
make_picture() { # SIZE
  local file=$pictures/plasma-$1.jpg
  if [[ ! -s $file ]]; then
    if [[ $1 == 10000x10000 ]]; then
      # Grown from a smaller fractal, with ImageMagick's pixel cache on disk.
      convert -limit memory 256MiB -limit map 512MiB -seed 7 -size 2000x2000 plasma:fractal \
        -resize 10000x10000! -quality 90 "$file.tmp.jpg"
    else
      convert -seed 7 -size "$1" plasma:fractal -quality 90 "$file.tmp.jpg"
    fi
    mv "$file.tmp.jpg" "$file"
  fi
  echo "$file"
}

start_server() { # SIZE
  rm -f "$work/display"
  Xvfb -displayfd 1 -screen 0 "$1x24" -nolisten tcp -noreset >"$work/display" 2>"$work/xvfb.log" &
  server_pid=$!
  for _ in $(seq 100); do
    [[ -s $work/display ]] && break
    sleep 0.1
  done
  [[ -s $work/display ]] || { echo "Xvfb did not start: $(tail -n1 "$work/xvfb.log")" >&2; exit 1; }
  export DISPLAY=:$(head -n1 "$work/display")
}

# Wall-clock milliseconds of one whole run, or "-" when it failed.
run_ms() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>"$work/err" || { echo "failed: $* ($(tail -n1 "$work/err"))" >&2; echo "-"; return; }
  end=$(date +%s%N)
  echo $(((end - start) / 1000))
}

median_ms() { # FILE of microseconds, one a line
  if grep -q -- - "$1"; then echo "-"; return; fi
  sort -n "$1" | sed -n "$((runs / 2 + 1))p" | awk '{ printf "%.1f", $1 / 1000 }'
}

peak_rss_mb() {
  /usr/bin/time -f '%M' -o "$work/rss" "$@" >/dev/null 2>&1 || { echo "-"; return; }
  awk '{ printf "%.0f", $1 / 1024 }' "$work/rss"
}

echo "ours: ${ours[*]##*/}   median of $runs whole-process runs, ms   (load average: $(cut -d" " -f1-3 /proc/loadavg))"
printf '%-10s %-10s %10s %12s %10s %12s %12s\n' screen picture ours xwallpaper hsetroot "vs xwallp." "vs hsetroot"
for screen in 1920x1080 3840x2160; do
  start_server "$screen"
  for size in 1600x1200 6000x4000; do
    picture=$(make_picture "$size")
    # One untimed run each, so the file is in the page cache for everyone.
    "${ours[@]}" "$picture" >/dev/null 2>&1 || true
    # The tools take turns, so that a busy moment of the machine falls on all of them.
    : >"$work/ours" && : >"$work/xwallpaper" && : >"$work/hsetroot"
    for _ in $(seq "$runs"); do
      run_ms "${ours[@]}" "$picture" >>"$work/ours"
      run_ms xwallpaper --stretch "$picture" >>"$work/xwallpaper"
      run_ms hsetroot -fill "$picture" >>"$work/hsetroot"
    done
    a=$(median_ms "$work/ours")
    b=$(median_ms "$work/xwallpaper")
    c=$(median_ms "$work/hsetroot")
    printf '%-10s %-10s %10s %12s %10s %11sx %11sx\n' "$screen" "$size" "$a" "$b" "$c" \
      "$(awk -v a="$a" -v b="$b" 'BEGIN { if (a > 0) printf "%.2f", b / a; else print "-" }')" \
      "$(awk -v a="$a" -v c="$c" 'BEGIN { if (a > 0) printf "%.2f", c / a; else print "-" }')"
  done
  stop_server
done

start_server 3840x2160
picture=$(make_picture 10000x10000)
echo
echo "peak resident memory, 10000x10000 JPEG on 3840x2160, MB"
printf '%-12s %12s %12s\n' ours xwallpaper hsetroot
printf '%-12s %12s %12s\n' "$(peak_rss_mb "${ours[@]}" "$picture")" \
  "$(peak_rss_mb xwallpaper --stretch "$picture")" "$(peak_rss_mb hsetroot -fill "$picture")"
stop_server
