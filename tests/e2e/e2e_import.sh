#!/usr/bin/env bash
# The user's own pictures into the store: --import 2 with a PNG of 3000x2000,
# a WebP, an AVIF, a JPEG of 3000x4000 stored sideways with Exif orientation
# 6, and a decompression bomb, handed to the running program while it shows
# category 2: it ends with 1 and names only the bomb; the other four are in
# category 2 of their shapes with both files, the sideways photo upright and
# normal; the grid shows the new widescreen pictures; the rotation list has
# them; the same files imported again add nothing. Without a running program
# the command does the same work alone.
# Arguments: the staged program folder, the build folder.

# shellcheck disable=SC2317  # the checks are small functions called by name
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init "$@"
e2e_require avifenc identify python3

readonly WINDOW_W=799 WINDOW_H=599
readonly START_SECONDS=60 # a sanitizer build starts slowly
readonly COMMAND_SECONDS=120
readonly PAGE_X=20 PAGE_Y=88
readonly COLUMN_X=$((PAGE_X + 3)) COLUMN_Y=$((PAGE_Y + 12))

# --- the pictures, each of one colour so that the grid can be read

SOURCES=$E2E_TMP/sources
mkdir -p "$SOURCES"
convert -size 3000x2000 xc:'rgb(230,120,20)' "$SOURCES/c-photo.png" || e2e_abort "convert cannot write a PNG"
convert -size 1600x900 xc:'rgb(20,160,220)' "$SOURCES/b-webp.webp" || e2e_abort "convert cannot write a WebP"
convert -size 1600x900 xc:'rgb(200,40,160)' "$E2E_TMP/avif.png" &&
  avifenc "$E2E_TMP/avif.png" "$SOURCES/a-avif.avif" >/dev/null || e2e_abort "avifenc cannot write an AVIF"
# 4000 wide and 3000 high as stored: red on the left; shown turned a quarter
# clockwise, 3000 wide and 4000 high with red on top.
convert -size 2000x3000 xc:red -size 2000x3000 xc:blue +append "$E2E_TMP/side.jpg" || e2e_abort "no JPEG"
python3 - "$E2E_TMP/side.jpg" "$SOURCES/d-sideways.jpg" <<'PY' || e2e_abort "cannot tag the JPEG"
import struct, sys
jpeg = open(sys.argv[1], "rb").read()
tiff = b"MM\0*" + struct.pack(">IH", 8, 1) + struct.pack(">HHIHH", 0x0112, 3, 1, 6, 0) + struct.pack(">I", 0)
body = b"Exif\0\0" + tiff
open(sys.argv[2], "wb").write(jpeg[:2] + b"\xff\xe1" + struct.pack(">H", len(body) + 2) + body + jpeg[2:])
PY
# A header announcing 30000 x 30000 pixels in a file of a hundred bytes.
python3 - "$SOURCES/e-bomb.png" <<'PY' || e2e_abort "cannot write the bomb"
import struct, sys, zlib
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
header = struct.pack(">IIBBBBB", 30000, 30000, 8, 2, 0, 0, 0)
png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(b"\0" * 64)) + chunk(b"IEND", b"")
open(sys.argv[1], "wb").write(png)
PY
IMPORTED=("$SOURCES/a-avif.avif" "$SOURCES/b-webp.webp" "$SOURCES/c-photo.png" "$SOURCES/d-sideways.jpg")

# --- checks on the store

e2e_start_session 1280x800x24
e2e_copy_program
STORE=$E2E_APP_DIR/wallpaper

# store_has SHAPE STEM: the pair of one imported picture, and its large picture's name.
large_of() { find "$STORE/$1/local/2" -maxdepth 1 -name "l_$2-*.jpg" | head -n1; }
pair_stored() {
  local large
  large=$(large_of "$1" "$2")
  [[ -n $large && -s $large && -s $(dirname "$large")/s_${large##*/l_} ]]
}
size_is() { [[ $(identify -format '%w %h' "$1" 2>/dev/null) == "$2" ]]; }
thumbnail_size_is() { size_is "$(dirname "$(large_of "$1" "$2")")/s_$(basename "$(large_of "$1" "$2")" | cut -c3-)" "$3"; }
upright() {
  local large
  large=$(large_of normal d-sideways)
  size_is "$large" "3000 4000" &&
    e2e_colour_near "$(e2e_pixels_of "$large" 1500 100)" "254 0 0" 40 &&
    e2e_colour_near "$(e2e_pixels_of "$large" 1500 3900)" "0 0 254" 40
}
store_count() { find "$STORE" -path '*/local/2/*' -type f | wc -l; }
no_bomb() { [[ -z $(find "$STORE" -name '*bomb*') ]]; }
no_leftovers() { [[ -z $(find "$STORE" -name '.*' -type f) ]]; }
only_bomb_named() {
  [[ $(grep -c . "$E2E_COMMAND_ERR") == 1 ]] && grep -q 'e-bomb.png: refused as a decompression bomb' "$E2E_COMMAND_ERR"
}
listed() { grep -qF "$(large_of widescreen "$1")" "$E2E_APP_DIR/list.dat"; }
command_ended_with() { [[ $E2E_COMMAND_STATUS == "$1" ]]; }

# --- into the running program, which shows category 2

e2e_start_program
main=$(e2e_wait_window "$START_SECONDS" "$E2E_PROGRAM_PID" "$WINDOW_W" "$WINDOW_H") ||
  e2e_abort "no ${WINDOW_W}x${WINDOW_H} window appeared (log: $E2E_PROGRAM_LOG)"
e2e_wait_steady 10 "$main" || true
read -r win_x win_y _ _ <<<"$(e2e_geometry "$main")"
e2e_click $((win_x + COLUMN_X + 61 + 30)) $((win_y + COLUMN_Y + 46 + 27 + 8))
e2e_move $((win_x + 400)) $((win_y + 20))
e2e_wait_until 10 e2e_thumbnails_shown "$main" widescreen 2 || e2e_fail "category 2 was not shown"
before=$(store_count)

e2e_run_command "$COMMAND_SECONDS" --import 2 "${IMPORTED[@]}" "$SOURCES/e-bomb.png"
e2e_expect "--import with a bomb among the pictures ends with 1" command_ended_with 1
e2e_expect "standard error names the bomb, and only the bomb" only_bomb_named
e2e_expect "the PNG of 3000x2000 is a normal picture with both files" pair_stored normal c-photo
e2e_expect "the WebP of 1600x900 is a widescreen picture with both files" pair_stored widescreen b-webp
e2e_expect "the AVIF of 1600x900 is a widescreen picture with both files" pair_stored widescreen a-avif
e2e_expect "the sideways photo is a normal picture with both files" pair_stored normal d-sideways
e2e_expect "the sideways photo is stored upright" upright
e2e_expect "a normal thumbnail has the normal slot's size" thumbnail_size_is normal c-photo "145 110"
e2e_expect "a widescreen thumbnail has the widescreen slot's size" thumbnail_size_is widescreen a-avif "160 100"
e2e_expect "the PNG is stored as it was, 3000x2000" size_is "$(large_of normal c-photo)" "3000 2000"
e2e_expect "nothing of the bomb is stored" no_bomb
e2e_expect "no temporary file is left" no_leftovers
e2e_expect "the rotation list takes the new widescreen pictures" listed a-avif
e2e_expect "the rotation list takes the WebP" listed b-webp

# The new pictures sort first in the category: slots 1 and 2.
slot_shows() {
  local thumbnail shot x y
  thumbnail=$(dirname "$(large_of widescreen "$2")")/s_$(basename "$(large_of widescreen "$2")" | cut -c3-)
  shot=$(e2e_screenshot grid-after-import) || return 1
  read -r x y <<<"$(e2e_slot_centre widescreen "$win_x" "$win_y" "$1")"
  e2e_colour_near "$(e2e_pixel_of "$shot" "$x" "$y")" "$(e2e_pixels_of "$thumbnail" 80 50)" 12
}
e2e_expect_within 15 "the running program's grid shows the AVIF in slot 1" slot_shows 1 a-avif
e2e_expect_within 5 "and the WebP in slot 2" slot_shows 2 b-webp

after=$(store_count)
e2e_run_command "$COMMAND_SECONDS" --import Cartoon "${IMPORTED[@]}"
e2e_expect "importing the same files again ends with 0" command_ended_with 0
e2e_expect "importing the same files again adds nothing" test "$(store_count)" -eq "$after"
e2e_expect "the first import added eight files" test "$after" -eq $((before + 8))

# --- without a running program

e2e_run_command 20 --quit
e2e_wait_program_exit 30 || e2e_fail "the program did not end on --quit"
rm -rf "$STORE/normal/local/2"/?_[a-e]-* "$STORE/widescreen/local/2"/?_[a-e]-*
e2e_run_command "$COMMAND_SECONDS" --import 2 "$SOURCES"
e2e_expect "--import of a folder without a program ends with 1 (the bomb)" command_ended_with 1
e2e_expect "and names only the bomb" only_bomb_named
e2e_expect "the folder's pictures are stored" pair_stored normal d-sideways
e2e_expect "with the others" pair_stored widescreen a-avif

e2e_finish
