#!/usr/bin/env bash
# Start-up against a minimal Qt 6 Widgets window, on Xvfb at 1920x1080 with
# no window manager: the time from launch to the first mapped window (median
# of RUNS, default 11, the two taking turns) and the resident memory 3 s
# after start (median of 5), each program on its own from a private home.
# Ours runs from a copy of its stage folder, on the sample store. Both run
# on a session bus of their own, as in a desktop session: without one, the
# first D-Bus client of a process (the tray icon asks for a status notifier
# host) starts dbus-launch, which a session never does.
#
#   bench/startup.sh [BUILD_DIR]     (a Release build with its benchmarks, default build-bench)
#
# Targets: launch at most 1.3 times the minimal window's, memory at most 36 MB.
set -euo pipefail

build=${1:-build-bench}
runs=${RUNS:-11}
here=$(cd "$(dirname "$0")/.." && pwd)
[[ $build == /* ]] || build=$here/$build
watch=$build/bench/bench-map-watch
minimal=$build/bench/bench-minimal-window
for tool in "$watch" "$minimal" "$build/stage/NimbraWallpaper"; do
  [[ -x $tool ]] || { echo "missing: $tool (build $build first)" >&2; exit 2; }
done
command -v Xvfb >/dev/null || { echo "missing: Xvfb (package xvfb)" >&2; exit 2; }
command -v dbus-daemon >/dev/null || { echo "missing: dbus-daemon (package dbus)" >&2; exit 2; }
if [[ -z ${NIMBRA_BENCH_BUS:-} ]]; then
  NIMBRA_BENCH_BUS=1 exec dbus-run-session -- bash "$0" "$@"
fi

work=$(mktemp -d /tmp/nimbra-bench-startup.XXXXXX)
server_pid=
cleanup() {
  [[ -z $server_pid ]] || kill "$server_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 1 -screen 0 1920x1080x24 -nolisten tcp -noreset >"$work/display" 2>"$work/xvfb.log" &
server_pid=$!
for _ in $(seq 100); do
  [[ -s $work/display ]] && break
  sleep 0.1
done
[[ -s $work/display ]] || { echo "Xvfb did not start: $(tail -n1 "$work/xvfb.log")" >&2; exit 1; }
export DISPLAY=:$(head -n1 "$work/display") QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY XDG_CURRENT_DESKTOP DESKTOP_SESSION

cp -a "$build/stage" "$work/stage"
ours=("$work/stage/NimbraWallpaper")
# A fresh home for every run: nothing stored from an earlier one.
fresh_home() {
  rm -rf "$work/home" && mkdir -p "$work/home/run" && chmod 700 "$work/home/run"
  export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share \
    XDG_CACHE_HOME=$work/home/.cache XDG_RUNTIME_DIR=$work/home/run
}
# One start: "<mapped ms> <rss kB>".
measure() { # RSS_AFTER program...
  fresh_home
  "$watch" 700 "$@" 2>/dev/null | sed -E 's/mapped_ms=([0-9.]+) rss_kb=([0-9]+)/\1 \2/'
}
median() { sort -n | awk '{ v[NR] = $1 } END { if (NR) print v[int((NR + 1) / 2)]; else print "-" }'; }

# Untimed starts, so that both programs' files are in the page cache.
measure 0 "$minimal" >/dev/null
measure 0 "${ours[@]}" >/dev/null
: >"$work/minimal.ms" && : >"$work/ours.ms"
for _ in $(seq "$runs"); do
  measure 0 "$minimal" | cut -d' ' -f1 >>"$work/minimal.ms"
  measure 0 "${ours[@]}" | cut -d' ' -f1 >>"$work/ours.ms"
done
: >"$work/minimal.kb" && : >"$work/ours.kb"
for _ in 1 2 3 4 5; do
  measure 3 "$minimal" | cut -d' ' -f2 >>"$work/minimal.kb"
  measure 3 "${ours[@]}" | cut -d' ' -f2 >>"$work/ours.kb"
done

minimal_ms=$(median <"$work/minimal.ms")
ours_ms=$(median <"$work/ours.ms")
minimal_kb=$(median <"$work/minimal.kb")
ours_kb=$(median <"$work/ours.kb")
echo "start-up on Xvfb 1920x1080, no window manager   (load average: $(cut -d" " -f1-3 /proc/loadavg))"
awk -v o="$ours_ms" -v m="$minimal_ms" -v n="$runs" 'BEGIN {
  printf "launch to mapped window, median of %d: ours %.1f ms, minimal Qt 6 window %.1f ms: %.2f times (target 1.30 or less)\n", n, o, m, o / m }'
awk -v o="$ours_kb" -v m="$minimal_kb" 'BEGIN {
  printf "resident memory 3 s after start, median of 5: ours %.1f MB, minimal Qt 6 window %.1f MB (target 36 MB or less)\n", o / 1024, m / 1024 }'
