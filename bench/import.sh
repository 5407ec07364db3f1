#!/usr/bin/env bash
# Import speed and memory: NimbraWallpaper --import bringing 40 photos of
# 4000x3000 (JPEG) and 10 pictures of 3000x2000 (PNG) into one category
# (thumbnails at the slot's size, JPEGs kept as they are, PNGs encoded as
# JPEG), against ImageMagick doing the same thumbnails and conversions one
# file after another:
#   convert SRC -auto-orient -thumbnail 160x100! s.jpg   (every picture)
#   convert SRC l.jpg                                     (the PNGs)
# measured side by side in the same run, whole processes, with the peak
# resident memory of each.
#
#   bench/import.sh [BUILD_DIR]     (a Release build holding stage/NimbraWallpaper)
#
# The PNGs have 8 bits a channel, as screenshots and exported drawings do
# (ImageMagick's own default, 16, makes files four times the size). The
# pictures are made once with ImageMagick and kept in WORK (default
# ${TMPDIR:-/tmp}/nimbra-bench-import). Each figure is the fastest of REPEAT
# runs (default 3); memory is the largest seen. Every run starts with the
# pictures in the page cache.
# Targets: the import at least 5 times faster than ImageMagick; its peak
# resident memory under 300 MB.
set -euo pipefail

build=${1:-build-release}
stage=$build/stage
repeat=${REPEAT:-3}
work=${WORK:-${TMPDIR:-/tmp}/nimbra-bench-import}
readonly JPEGS=40 PNGS=10 BASES=4

say() { echo "bench: $*" >&2; }
[[ -x $stage/NimbraWallpaper ]] || { say "no $stage/NimbraWallpaper: build it first"; exit 1; }
command -v convert >/dev/null || { say "ImageMagick is not installed"; exit 1; }
[[ -x /usr/bin/time ]] || { say "missing: /usr/bin/time (package time)"; exit 1; }

smaller() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a < b) ? a : b }'; }
larger() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a > b) ? a : b }'; }

# --- the pictures: a few painted bases, each picture a base shifted by its
# own offset, so that every file differs

pictures=$work/pictures
mkdir -p "$pictures"
make_base() {
  local n=$1 size=$2 name=$3
  [[ -s $work/$name-$n.png ]] && return 0
  local width=${size%x*} height=${size#*x}
  convert -seed "$n" -size $((width / 8))x$((height / 8)) plasma:fractal -blur 0x1 \
    -resize "${size}!" -attenuate 0.35 +noise Gaussian -depth 8 "$work/$name-$n.part.png"
  mv "$work/$name-$n.part.png" "$work/$name-$n.png"
}
make_picture() {
  local n=$1 base=$2 extension=$3 file
  file=$pictures/$base-$(printf %03d "$n").$extension
  [[ -s $file ]] && return 0
  convert "$work/$base-$((n % BASES)).png" -roll "+$((n * 37))+$((n * 23))" -quality 90 -depth 8 \
    "$work/part-$n.$extension"
  mv "$work/part-$n.$extension" "$file"
}
export -f make_base make_picture
export work pictures BASES
say "making $JPEGS JPEGs of 4000x3000 and $PNGS PNGs of 3000x2000 in $pictures (kept for later runs)"
for ((n = 0; n < BASES; n++)); do
  echo "$n 4000x3000 photo"
  echo "$n 3000x2000 drawing8"
done | xargs -P "$(nproc)" -L1 bash -c 'make_base "$@"' _
seq 1 "$JPEGS" | xargs -P "$(nproc)" -I{} bash -c 'make_picture {} photo jpg'
seq 1 "$PNGS" | xargs -P "$(nproc)" -I{} bash -c 'make_picture {} drawing8 png'
bytes=$(du -sb "$pictures" | cut -f1)
cat "$pictures"/* >/dev/null # into the page cache

# --- the runs

# timed NAME FUNCTION: wall-clock and CPU seconds (user + system, all
# threads) of the exported shell function into NAME_wall and NAME_cpu, the
# peak resident memory in MB into NAME_mb (for a loop: its largest process).
timed() {
  local name=$1 figures wall user system kilobytes
  figures=$({
    TIMEFORMAT='%R %U %S'
    time /usr/bin/time -f '%M' -o "$work/$name.rss" bash -c "$2" >"$work/$name.log" 2>"$work/$name.err"
  } 2>&1) || { say "$name failed:"; cat "$work/$name.err" >&2; exit 1; }
  read -r wall user system <<<"$figures"
  kilobytes=$(tail -n1 "$work/$name.rss")
  printf -v "${name}_wall" %s "$wall"
  printf -v "${name}_cpu" %s "$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%.2f", u + s }')"
  printf -v "${name}_mb" %s "$((kilobytes / 1024))"
}

# The program from a copy of its folder, without a display and with a home
# of its own, as a command run from a script.
app=$work/program
home=$work/home
import_all() {
  env -u DISPLAY -u WAYLAND_DISPLAY HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" \
    XDG_RUNTIME_DIR="$home/runtime" "$app/NimbraWallpaper" --import 1 "$pictures"
}
imagemagick_all() {
  local source out=$work/imagemagick
  for source in "$pictures"/*; do
    convert "$source" -auto-orient -thumbnail '160x100!' "$out/s.jpg"
    [[ $source == *.png ]] && convert "$source" "$out/l.jpg"
  done
  return 0
}

export -f import_all imagemagick_all
export app home

for ((run = 1; run <= repeat; run++)); do
  rm -rf "$app" "$home" "$work/imagemagick"
  cp -a "$stage" "$app"
  mkdir -p "$home/runtime" "$work/imagemagick"
  chmod 700 "$home/runtime"
  timed nimbra import_all
  stored=$(find "$app/wallpaper" -path '*/local/1/s_*-*.jpg' -newer "$app/NimbraWallpaper" | wc -l)
  ((stored == JPEGS + PNGS)) || { say "the import stored $stored thumbnails, not $((JPEGS + PNGS))"; exit 1; }
  timed magick imagemagick_all
  # shellcheck disable=SC2154  # set by timed
  say "run $run: import $nimbra_wall s ($nimbra_cpu s CPU, $nimbra_mb MB), ImageMagick $magick_wall s" \
    "($magick_cpu s CPU, $magick_mb MB)"
  best_nimbra=$(smaller "$nimbra_wall" "${best_nimbra:-}")
  best_nimbra_cpu=$(smaller "$nimbra_cpu" "${best_nimbra_cpu:-}")
  most_nimbra_mb=$(larger "$nimbra_mb" "${most_nimbra_mb:-}")
  best_magick=$(smaller "$magick_wall" "${best_magick:-}")
  best_magick_cpu=$(smaller "$magick_cpu" "${best_magick_cpu:-}")
  most_magick_mb=$(larger "$magick_mb" "${most_magick_mb:-}")
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", a / b }'; }
echo
echo "$JPEGS JPEGs of 4000x3000 and $PNGS PNGs of 3000x2000 ($((bytes / 1024 / 1024)) MiB), $(nproc) cores" \
  "shared with other work (load average $(cut -d' ' -f1-3 /proc/loadavg)); fastest of $repeat"
printf '  %-52s %8s s wall %8s s CPU %6s MB peak\n' \
  "NimbraWallpaper --import 1 (thumbnails + larges)" "$best_nimbra" "$best_nimbra_cpu" "$most_nimbra_mb" \
  "ImageMagick convert, one file after another" "$best_magick" "$best_magick_cpu" "$most_magick_mb"
echo "  the import is $(ratio "$best_magick" "$best_nimbra")x faster than ImageMagick in wall-clock time," \
  "$(ratio "$best_magick_cpu" "$best_nimbra_cpu")x in CPU time (target: 5x); peak memory $most_nimbra_mb MB" \
  "(target: under 300 MB)"
