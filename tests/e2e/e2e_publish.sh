#!/usr/bin/env bash
# A folder of one's own pictures as the program's online catalogue:
# nimbra-catalogue publishes it (categories by number and by caption, a
# sub-folder, JPEG, PNG and BMP, a widescreen picture, files it passes over),
# tools/demo-site/serve.sh serves the site with nginx on 127.0.0.1 port 80, and
# the staged program, pointed at it at run time by the [home] section of its
# setting.ini, shows the folder's pictures in the network view and sets one as
# the wallpaper, downloaded as the folder has it. Publishing again with
# nothing changed keeps the site as it is; a publish that fails changes
# nothing, and links put into the site are replaced, never followed.
# Arguments: the staged program folder, the build folder (nimbra-catalogue is
# built there when missing).

# The checks are small functions that e2e_expect calls by name.
# shellcheck disable=SC2317
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init "$@"
# shellcheck source=network_page.sh
source "$(dirname "${BASH_SOURCE[0]}")/network_page.sh"
e2e_require compare

readonly HOST=127.0.0.1
readonly WINDOW_W=799 WINDOW_H=599
readonly START_SECONDS=60 # a sanitizer build starts slowly
readonly VIEW_SECONDS=60  # catalogue check and thumbnail downloads
readonly SCREEN_W=1024 SCREEN_H=768 # 4:3, so the program browses the normal shape

[[ $(id -u) == 0 ]] || e2e_skip "the site is served on port 80, which needs root"
e2e_require_nginx
if (exec 3<>"/dev/tcp/$HOST/80") 2>/dev/null; then
  e2e_skip "another server already listens on $HOST port 80"
fi
# The program fetches the catalogue pages with Qt; a proxy must not get them.
unset http_proxy https_proxy all_proxy HTTP_PROXY HTTPS_PROXY ALL_PROXY no_proxy NO_PROXY
# The setting.ini of the program's copy alone names the site.
unset NIMBRA_HOME_HOST

build_dir=$(cd "$2" && pwd)
tool=$build_dir/tools/nimbra-catalogue/nimbra-catalogue
if [[ ! -x $tool ]]; then
  e2e_log "building nimbra-catalogue in $build_dir"
  cmake --build "$build_dir" --target nimbra-catalogue >"$E2E_OUT/build.log" 2>&1 ||
    e2e_abort "building nimbra-catalogue failed (see $E2E_OUT/build.log)"
fi

# --- the folder of pictures, one unlike the other on a small grid

source=$E2E_TMP/pictures
site=$E2E_TMP/site
mkdir -p "$source/Nature/Mountains" "$source/2" "$source/Misc"
paint() { # FILE SIZE IMAGEMAGICK-ARGUMENTS...
  local file=$1 size=$2
  shift 2
  convert -size "$size" "$@" "$file" || e2e_abort "convert could not paint $file"
}
paint "$source/Nature/lake.jpg" 1200x900 gradient:'#0b3d91-#8fd3ff'
paint "$source/Nature/Mountains/Peak.JPG" 1200x900 -define gradient:angle=90 gradient:'#1b5e20-#f1f8e9'
paint "$source/Nature/forest floor.png" 1200x900 radial-gradient:'#ffeb3b-#4e342e'
paint "$source/Nature/panorama.jpg" 1920x1080 gradient:'#ff0000-#00ff00'
paint "$source/2/sun.bmp" 1200x900 xc:'#ff9800' -fill '#4a148c' -draw 'circle 600,450 600,150'
paint "$source/Misc/elsewhere.jpg" 800x600 xc:'#888888'
echo "not a picture" >"$source/Nature/readme.txt"

publish() { "$tool" publish "$source" "$site" --url "http://$HOST/" --jobs 2; }
if publish >"$E2E_OUT/publish.log" 2>"$E2E_OUT/publish.err"; then
  e2e_pass "nimbra-catalogue publishes the folder"
else
  e2e_abort "nimbra-catalogue failed (see $E2E_OUT/publish.err)"
fi
noted() { grep -q "passed over $1" "$E2E_OUT/publish.err"; }
e2e_expect "a file that is no picture is passed over with a line" noted "Nature/readme.txt"
e2e_expect "a folder that names no category is passed over with a line" noted "Misc"

index=$site/software/allindex.htm
block() { sed -n "/^<wallpaper-$1>\$/,/^<\\(wallpaper-widescreen\\|quenlitend\\)>\$/p" "$index" | grep '^http://'; }
mapfile -t nature < <(block normal | grep "/1/s_")
mapfile -t cartoon < <(block normal | grep "/2/s_")
mapfile -t wide < <(block widescreen)
((${#nature[@]} == 3 && ${#cartoon[@]} == 1 && ${#wide[@]} == 1)) ||
  e2e_abort "the index has ${#nature[@]} normal Nature, ${#cartoon[@]} Cartoon and ${#wide[@]} widescreen pictures, not 3, 1 and 1"
e2e_expect "the widescreen picture is in the widescreen block" grep -q "/pictures/widescreen/1/s_panorama-" <<<"${wide[0]}"
site_file() { echo "$site/${1#http://"$HOST"/}"; } # address -> file under the site
large_file_of() { site_file "${1/\/s_//l_}"; }      # thumbnail address -> the site's large picture
tail_of() { echo "${1##*/s_}"; }
source_of() { # address -> the source picture it was published from
  case $(tail_of "$1") in
    lake-*) echo "$source/Nature/lake.jpg" ;;
    peak-*) echo "$source/Nature/Mountains/Peak.JPG" ;;
    forest-floor-*) echo "$source/Nature/forest floor.png" ;;
    sun-*) echo "$source/2/sun.bmp" ;;
    *) echo "/no/such/source" ;;
  esac
}
all_known() {
  local address
  for address in "${nature[@]}" "${cartoon[@]}"; do [[ -f $(source_of "$address") ]] || return 1; done
}
e2e_expect "every address names its picture by the source file's name" all_known

serve_site "$site"

# --- the program, pointed at the site by its setting.ini

e2e_start_session ${SCREEN_W}x${SCREEN_H}x24
e2e_copy_program
printf '\r\n[home]\r\nhost=%s\r\n' "$HOST" >>"$E2E_APP_DIR/setting.ini"
network_folder=$E2E_APP_DIR/wallpaper/normal/network
# shellcheck disable=SC2119  # no arguments: an ordinary start
e2e_start_program
main=$(e2e_wait_window "$START_SECONDS" "$E2E_PROGRAM_PID" "$WINDOW_W" "$WINDOW_H") ||
  e2e_abort "no ${WINDOW_W}x${WINDOW_H} window appeared (log: $E2E_PROGRAM_LOG)"
e2e_wait_until 20 e2e_thumbnails_shown "$main" normal 1 ||
  e2e_abort "the first page of local thumbnails did not appear (log: $E2E_PROGRAM_LOG)"
read -r win_x win_y _ _ <<<"$(e2e_geometry "$main")"


# The folder's pictures themselves are the candidates: slot N shows the
# source picture of the category's N-th address, the slots after them are
# hidden.
sources=()
for address in "${nature[@]}" "${cartoon[@]}"; do sources+=("$(source_of "$address")"); done
page_shows() { # SHOT ADDRESSES...
  local shot=$1 slot=0 address
  shift
  for address in "$@"; do
    slot=$((slot + 1))
    slot_shows "$shot" "$slot" "$(source_of "$address")" "${sources[@]}" || return 1
  done
  for ((slot = slot + 1; slot <= 6; slot++)); do slot_hidden "$shot" "$slot" || return 1; done
}
wait_for_page() { # NAME ADDRESSES...
  local name=$1
  shift
  shows_now() { page_shows "$(e2e_screenshot "$name")" "$@"; }
  e2e_wait_until "$VIEW_SECONDS" shows_now "$@"
}

# --- network "Nature"

click_network_link 1
if wait_for_page nature "${nature[@]}"; then
  e2e_pass "network Nature shows the folder's three Nature pictures in catalogue order"
else
  e2e_fail "network Nature did not show the folder's Nature pictures (log: $E2E_PROGRAM_LOG)"
fi
pages_fetched() { grep -q '"GET /software/ver.htm ' "$access_log" && grep -q '"GET /software/allindex.htm ' "$access_log"; }
e2e_expect "the program read the catalogue pages from the site named in setting.ini" pages_fetched
stored_file_of() { echo "$network_folder/${1#http://"$HOST"/pictures/normal/}"; } # N/s_tail
thumbnails_stored() {
  local address
  for address in "${nature[@]}"; do cmp -s "$(stored_file_of "$address")" "$(site_file "$address")" || return 1; done
}
e2e_expect "the thumbnails are stored as the site has them" thumbnails_stored

# --- "Set as Desktop Wallpaper" on the lake, a JPEG published as it is

chosen_slot=0
for i in "${!nature[@]}"; do [[ $(tail_of "${nature[i]}") == lake-* ]] && chosen_slot=$((i + 1)); done
chosen=${nature[chosen_slot - 1]}
stored_large=$network_folder/1/l_$(tail_of "$chosen")
root_pixmap() { xprop -root _XROOTPMAP_ID 2>/dev/null | sed -n 's/.*# *//p'; }
pixmap_changed_from() { [[ -n $(root_pixmap) && $(root_pixmap) != "$1" ]]; }
window_back() { [[ -n $(e2e_find_window "$E2E_PROGRAM_PID" "$WINDOW_W" "$WINDOW_H") ]]; }

before=$(root_pixmap)
select_slot "$chosen_slot"
press_set_wallpaper
e2e_expect_within 60 "the button sets a new root background" pixmap_changed_from "$before"
e2e_expect_within 20 "the window comes back after the button" window_back
e2e_expect "the downloaded large picture is the folder's own file, byte for byte" \
  cmp -s "$stored_large" "$source/Nature/lake.jpg"

readonly FREE_RIGHT="$((SCREEN_W - (SCREEN_W + WINDOW_W) / 2 - 2))x${SCREEN_H}+$(((SCREEN_W + WINDOW_W) / 2 + 2))+0"
root_shows_lake() { # the strip the window leaves free against the lake stretched to the screen
  local shot d
  shot=$(e2e_screenshot after-set-wallpaper) || return 1
  convert "$source/Nature/lake.jpg" -resize "${SCREEN_W}x${SCREEN_H}!" -crop "$FREE_RIGHT" +repage \
    "$E2E_TMP/expected-strip.png" || return 1
  convert "$shot" -crop "$FREE_RIGHT" +repage "$E2E_TMP/shown-strip.png" || return 1
  d=$(distance "$E2E_TMP/shown-strip.png" "$E2E_TMP/expected-strip.png")
  less_than "${d:-1}" 0.1
}
e2e_expect_within 10 "the root window shows the lake, stretched" root_shows_lake

# --- network "Cartoon": the BMP, converted

main=$(e2e_find_window "$E2E_PROGRAM_PID" "$WINDOW_W" "$WINDOW_H") && read -r win_x win_y _ _ <<<"$(e2e_geometry "$main")"
click_network_link 2
if wait_for_page cartoon "${cartoon[@]}"; then
  e2e_pass "network Cartoon shows the folder's BMP picture"
else
  e2e_fail "network Cartoon did not show the folder's BMP picture"
fi

# --- publishing again with nothing changed

version_before=$(cat "$site/software/ver.htm")
publish >"$E2E_OUT/publish-again.log" 2>"$E2E_OUT/publish-again.err" || e2e_fail "publishing again failed"
same_version() { [[ $(cat "$site/software/ver.htm") == "$version_before" ]]; }
e2e_expect "publishing again with nothing changed keeps the index version" same_version
e2e_expect "publishing again with nothing changed makes no picture" grep -q "(0 made" "$E2E_OUT/publish-again.log"

bash "$E2E_SOURCE_DIR/tools/demo-site/serve.sh" stop >>"$E2E_OUT/serve.log" 2>&1
server_gone() { ! port_answers && ! kill -0 "$serve_pid" 2>/dev/null; }
e2e_expect_within 10 "\"serve.sh stop\" ends the server" server_gone

# --- a run that fails, and links in the site

sums_of() { (cd "$1" && find . -type f -print0 | LC_ALL=C sort -z | xargs -0 sha1sum); }
paint "$source/Nature/dunes.jpg" 1200x900 gradient:'#c2b280-#7f6a3a'
chmod a-w "$site/software/ver.htm"
site_before=$(sums_of "$site")
publish >"$E2E_OUT/publish-refused.log" 2>"$E2E_OUT/publish-refused.err"
refused_status=$?
chmod u+w "$site/software/ver.htm"
e2e_expect "a publish that cannot replace ver.htm exits with 1" test "$refused_status" = 1
e2e_expect "the failed publish leaves every file of the site as it was" test "$(sums_of "$site")" = "$site_before"

elsewhere=$E2E_TMP/elsewhere
mkdir -p "$elsewhere/other"
echo "the user's own page" >"$elsewhere/front.html"
echo "another folder" >"$elsewhere/other/notes.txt"
cp -r "$site/pictures/normal/2" "$elsewhere/photos"
rm -rf "$site/index.html" "$site/software" "$site/pictures/normal/2"
ln -s "$elsewhere/front.html" "$site/index.html"
ln -s "$elsewhere/other" "$site/software"
ln -s "$elsewhere/photos" "$site/pictures/normal/2"
elsewhere_before=$(sums_of "$elsewhere")
if publish >"$E2E_OUT/publish-links.log" 2>"$E2E_OUT/publish-links.err"; then
  e2e_pass "publishing into a site with links in it succeeds"
else
  e2e_fail "publishing into a site with links in it failed (see $E2E_OUT/publish-links.err)"
fi
e2e_expect "what the links pointed at is untouched" test "$(sums_of "$elsewhere")" = "$elsewhere_before"
no_links_left() { [[ ! -L $site/index.html && ! -L $site/software && ! -L $site/pictures/normal/2 ]]; }
e2e_expect "the links are replaced by real files and folders" no_links_left
all_files_real() {
  local address
  for address in $(grep '^http://' "$index"); do
    [[ -f $(site_file "$address") && ! -L $(site_file "$address") && -f $(large_file_of "$address") ]] || return 1
  done
}
e2e_expect "every picture the new index names is a file of the site" all_files_real

e2e_finish
