#!/usr/bin/env bash
# The online catalogue against the demo home site, served by nginx on
# 127.0.0.1 port 80, on a bare X11 session: a network category lists the
# site's thumbnails in catalogue order and stores them; page 2 shows the rest;
# "Set as Desktop Wallpaper" on a network thumbnail downloads the large
# picture through the progress dialog into the network folder and makes it the
# root window's background; "Downloaded" then lists it; another category shows
# its own pictures; serve.sh stops its server.
# The staged program is pointed at the demo site at run time, through
# NIMBRA_HOME_HOST=127.0.0.1 in its environment; the demo site is written by
# the build's nimbra-demo-site (built here when missing).
# Arguments: the staged program folder, the build folder.

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
readonly VIEW_SECONDS=60  # catalogue check and six thumbnail downloads
readonly SCREEN_W=1024 SCREEN_H=768 # 4:3, so the program browses the normal shape
readonly RATE=48k # per connection for large pictures: the progress dialog stays up a while

[[ $(id -u) == 0 ]] || e2e_skip "the demo site is served on port 80, which needs root"
e2e_require_nginx
if (exec 3<>"/dev/tcp/$HOST/80") 2>/dev/null; then
  e2e_skip "another server already listens on $HOST port 80"
fi
# The program fetches the catalogue pages with Qt; a proxy must not get them.
unset http_proxy https_proxy all_proxy HTTP_PROXY HTTPS_PROXY ALL_PROXY no_proxy NO_PROXY

# --- the demo site, and the staged program pointed at it

build_dir=$(cd "$2" && pwd)
demo_site_tool=$build_dir/tools/demo-site/nimbra-demo-site
if [[ ! -x $demo_site_tool ]]; then
  e2e_log "building nimbra-demo-site in $build_dir"
  cmake --build "$build_dir" --target nimbra-demo-site >"$E2E_OUT/build.log" 2>&1 ||
    e2e_abort "building nimbra-demo-site failed (see $E2E_OUT/build.log)"
fi
export NIMBRA_HOME_HOST=$HOST

site=$E2E_TMP/demo-site
"$demo_site_tool" --host "$HOST" "$site" >"$E2E_OUT/demo-site.log" 2>&1 ||
  e2e_abort "nimbra-demo-site failed (see $E2E_OUT/demo-site.log)"

has_markers() { grep -q '<quenlitstart>' "$1" && grep -q '<quenlitend>' "$1"; }
version_page_usable() { has_markers "$site/software/ver.htm" && grep -qF "(softver=1.0)" "$site/software/ver.htm"; }
index_page_usable() { has_markers "$site/software/allindex.htm" && ! grep -q $'\r' "$site/software/allindex.htm"; }
e2e_expect "ver.htm carries both markers and software version 1.0" version_page_usable
e2e_expect "allindex.htm carries both markers and LF line ends only" index_page_usable

# The site's normal block, in catalogue order: the order the program lists.
normal_block() { sed -n '/^<wallpaper-normal>$/,/^<wallpaper-widescreen>$/p' "$site/software/allindex.htm" | grep '^http://'; }
mapfile -t nature < <(normal_block | grep "/1/s_")
mapfile -t cartoon < <(normal_block | grep "/2/s_")
((${#nature[@]} >= 8 && ${#nature[@]} <= 12)) || e2e_abort "the demo site's category 1 has ${#nature[@]} pictures, not 8 to 12"
((${#cartoon[@]} >= 1 && ${#cartoon[@]} <= 6)) || e2e_abort "the demo site's category 2 has ${#cartoon[@]} pictures, not 1 to 6"
site_file() { echo "$site/${1#http://"$HOST"/}"; }    # address -> file under the site
tail_of() { echo "${1##*/s_}"; }                       # address -> "tail.jpg"
large_file_of() { site_file "${1/\/s_//l_}"; }          # thumbnail address -> the site's large picture

serve_site "$site" --rate "$RATE"

# --- the program

e2e_start_session ${SCREEN_W}x${SCREEN_H}x24
e2e_copy_program
network_folder=$E2E_APP_DIR/wallpaper/normal/network
# shellcheck disable=SC2119  # no arguments: an ordinary start
e2e_start_program
main=$(e2e_wait_window "$START_SECONDS" "$E2E_PROGRAM_PID" "$WINDOW_W" "$WINDOW_H") ||
  e2e_abort "no ${WINDOW_W}x${WINDOW_H} window appeared (log: $E2E_PROGRAM_LOG)"
# The local page first: a network category is chosen once it has filled.
e2e_wait_until 20 e2e_thumbnails_shown "$main" normal 1 ||
  e2e_abort "the first page of local thumbnails did not appear (log: $E2E_PROGRAM_LOG)"
read -r win_x win_y _ _ <<<"$(e2e_geometry "$main")"

# Where things are: the wallpaper page, its category column, Panel1 with the
# slots, the page bar.
page_link_point() { echo "$((win_x + PAGE_X + 198 + 3 + 26 * ($1 - 1) + 10)) $((win_y + PAGE_Y + 399 + 2 + 7))"; }
# shellcheck disable=SC2046
click_page_link() { e2e_click $(page_link_point "$1"); }
slot_category() { # SHOT SLOT: the colour family of the slot's centre
  local x y
  read -r x y <<<"$(slot_centre "$2")"
  e2e_sample_category "$(e2e_pixel_of "$1" "$x" "$y")"
}
page_link_shown() { # SHOT K: the link's white face stands on the page bar
  local x y
  read -r x y <<<"$(page_link_point "$2")"
  e2e_colour_near "$(e2e_pixel_of "$1" $((x - 8)) $((y - 5)))" "255 255 255" 2
}

# page_shows SHOT FIRST COUNT ADDRESSES...: slots 1..COUNT show thumbnails
# FIRST.. of the addresses (0-based), the slots after them are hidden.
page_shows() {
  local shot=$1 first=$2 count=$3 slot candidates=()
  shift 3
  local addresses=("$@") address
  for address in "${addresses[@]}"; do candidates+=("$(site_file "$address")"); done
  for ((slot = 1; slot <= count; slot++)); do
    slot_shows "$shot" "$slot" "${candidates[first + slot - 1]}" "${candidates[@]}" || return 1
  done
  for ((slot = count + 1; slot <= 6; slot++)); do slot_hidden "$shot" "$slot" || return 1; done
}

# wait_for_page NAME FIRST COUNT ADDRESSES...: polls the screen until the page
# is shown; the last screenshot is NAME.png either way.
wait_for_page() {
  local name=$1
  shift
  shows_now() { page_shows "$(e2e_screenshot "$name")" "$@"; }
  e2e_wait_until "$VIEW_SECONDS" shows_now "$@"
}

stored_file_of() { echo "$network_folder/${1#http://"$HOST"/pictures/normal/}"; } # N/s_tail
stored_like_site() { cmp -s "$(stored_file_of "$1")" "$(site_file "$1")"; }
stored_page() {
  local address
  for address in "$@"; do stored_like_site "$address" || return 1; done
}

# --- network "Nature": page 1

click_network_link 1
if wait_for_page nature-page-1 0 6 "${nature[@]}"; then
  e2e_pass "network Nature shows the site's first six thumbnails in catalogue order"
else
  e2e_fail "network Nature did not show the site's first six thumbnails in catalogue order (log: $E2E_PROGRAM_LOG)"
fi
shot=$E2E_OUT/nature-page-1.png
all_green() {
  local slot
  for slot in 1 2 3 4 5 6; do [[ $(slot_category "$shot" "$slot") == 1 ]] || return 1; done
}
e2e_expect "the six thumbnails are in the Nature colours" all_green
two_page_links() { page_link_shown "$shot" 1 && page_link_shown "$shot" 2 && ! page_link_shown "$shot" 3; }
e2e_expect "page links 1 and 2 are shown, 3 is not" two_page_links
e2e_expect "the six thumbnails are stored in wallpaper/normal/network/1/ as the site has them" \
  stored_page "${nature[@]:0:6}"
no_page_2_yet() { [[ ! -e $(stored_file_of "${nature[6]}") ]]; }
e2e_expect "the thumbnails of page 2 are not fetched yet" no_page_2_yet
settings=$E2E_APP_DIR/setting.ini
index_version=$(sed -n 's/.*\[indexver=\([^]]*\)\].*/\1/p' "$site/software/ver.htm")
settings_has_line() { tr -d '\r' <"$settings" | grep -qxF "$1"; } # the program writes CR LF
e2e_expect "setting.ini stores the site's index version $index_version" settings_has_line "indexver=$index_version"
e2e_expect "setting.ini stores the catalogue's first address" settings_has_line "1=$(normal_block | head -n1)"
section_keys() { tr -d '\r' <"$settings" | sed -n "/^\[$1\]/,/^\[/p" | grep -c '^[0-9]*=http://[^ ]*$'; }
widescreen_block() { sed -n '/^<wallpaper-widescreen>$/,/^<quenlitend>$/p' "$site/software/allindex.htm" | grep -c '^http://'; }
whole_catalogue() { (($(section_keys wallpaper-normal) == $(normal_block | wc -l))) &&
  (($(section_keys wallpaper-widescreen) == $(widescreen_block))); }
e2e_expect "setting.ini stores every address of both shapes" whole_catalogue
pages_fetched() { grep -q '"GET /software/ver.htm ' "$access_log" && grep -q '"GET /software/allindex.htm ' "$access_log"; }
thumbnails_by_range() {
  grep -q '"HEAD /pictures/normal/1/s_' "$access_log" && grep -q '"GET /pictures/normal/1/s_[^ ]* HTTP/1.1" 206' "$access_log"
}
e2e_expect "the version and index pages were fetched" pages_fetched
e2e_expect "the thumbnails were fetched with HEAD and ranged GET requests" thumbnails_by_range

# --- page 2

click_page_link 2
if wait_for_page nature-page-2 6 $((${#nature[@]} - 6)) "${nature[@]}"; then
  e2e_pass "page 2 shows the remaining $((${#nature[@]} - 6)) thumbnails and hides the other slots"
else
  e2e_fail "page 2 did not show the remaining thumbnails"
fi
e2e_expect "the thumbnails of page 2 are stored" stored_page "${nature[@]:6}"

# --- "Set as Desktop Wallpaper" on the second thumbnail of page 2

chosen=${nature[7]}
stored_large=$network_folder/1/l_$(tail_of "$chosen")
site_large=$(large_file_of "$chosen")
root_pixmap() { xprop -root _XROOTPMAP_ID 2>/dev/null | sed -n 's/.*# *//p'; }
pixmap_changed_from() { [[ -n $(root_pixmap) && $(root_pixmap) != "$1" ]]; }
window_back() { [[ -n $(e2e_find_window "$E2E_PROGRAM_PID" "$WINDOW_W" "$WINDOW_H") ]]; }
progress_dialog() { e2e_find_window "$E2E_PROGRAM_PID" 433 148 >/dev/null; }

before=$(root_pixmap)
select_slot 2
press_set_wallpaper
if e2e_wait_until 20 progress_dialog; then
  e2e_pass "the progress dialog shows while the large picture downloads"
  e2e_screenshot progress-dialog >/dev/null
else
  e2e_fail "no progress dialog appeared"
fi
e2e_expect_within 60 "the button sets a new root background" pixmap_changed_from "$before"
e2e_expect_within 20 "the window comes back after the button" window_back
main=$(e2e_find_window "$E2E_PROGRAM_PID" "$WINDOW_W" "$WINDOW_H") && read -r win_x win_y _ _ <<<"$(e2e_geometry "$main")"
e2e_expect "the large picture is stored as wallpaper/normal/network/1/l_$(tail_of "$chosen"), as the site has it" \
  cmp -s "$stored_large" "$site_large"
e2e_expect "the large picture came in ranged GET requests" \
  grep -q "\"GET /pictures/normal/1/l_$(tail_of "$chosen") HTTP/1.1\" 206" "$access_log"

# The strips of the screen the window leaves free show the root background.
readonly FREE_RIGHT="$((SCREEN_W - (SCREEN_W + WINDOW_W) / 2 - 2))x${SCREEN_H}+$(((SCREEN_W + WINDOW_W) / 2 + 2))+0"
readonly FREE_BELOW="${SCREEN_W}x$((SCREEN_H - (SCREEN_H + WINDOW_H) / 2 - 2))+0+$(((SCREEN_H + WINDOW_H) / 2 + 2))"
screen_distance() { # SHOT PICTURE: the free strips against the picture stretched to the screen
  local total=0 strip value
  convert "$2" -resize "${SCREEN_W}x${SCREEN_H}!" "$E2E_TMP/stretched.png" || return 1
  for strip in "$FREE_RIGHT" "$FREE_BELOW"; do
    convert "$1" -crop "$strip" +repage "$E2E_TMP/shown-strip.png"
    convert "$E2E_TMP/stretched.png" -crop "$strip" +repage "$E2E_TMP/expected-strip.png"
    value=$(distance "$E2E_TMP/shown-strip.png" "$E2E_TMP/expected-strip.png")
    total=$(awk -v a="$total" -v b="${value:-1}" 'BEGIN { print a + b }')
  done
  echo "$total"
}
root_shows_chosen() {
  local shot address d best=9 best_file=""
  shot=$(e2e_screenshot after-set-wallpaper) || return 1
  for address in "${nature[@]}"; do
    d=$(screen_distance "$shot" "$(large_file_of "$address")")
    if less_than "$d" "$best"; then
      best=$d
      best_file=$(large_file_of "$address")
    fi
  done
  e2e_log "closest large picture on the root window: ${best_file##*/} (distance $best)"
  [[ $best_file == "$site_large" ]] && less_than "$best" 0.12
}
e2e_expect_within 10 "the root window shows the chosen picture, stretched" root_shows_chosen

# --- "Downloaded"

click_network_link 6
downloaded_listed() {
  local shot
  shot=$(e2e_screenshot downloaded) || return 1
  slot_shows "$shot" 1 "$site_large" "$site_large" && slot_hidden "$shot" 2
}
e2e_expect_within 20 "\"Downloaded\" lists the picture, alone" downloaded_listed

# --- network "Cartoon": its own thumbnails

click_network_link 2
if wait_for_page cartoon 0 "${#cartoon[@]}" "${cartoon[@]}"; then
  e2e_pass "network Cartoon shows its ${#cartoon[@]} thumbnails"
  amber() { [[ $(slot_category "$E2E_OUT/cartoon.png" 1) == 2 ]]; }
  e2e_expect "Cartoon's thumbnails are in the Cartoon colours" amber
else
  e2e_fail "network Cartoon did not show its thumbnails"
fi

# --- the server stops when asked

bash "$E2E_SOURCE_DIR/tools/demo-site/serve.sh" stop >>"$E2E_OUT/serve.log" 2>&1
server_gone() { ! port_answers && ! kill -0 "$serve_pid" 2>/dev/null; }
e2e_expect_within 10 "\"serve.sh stop\" ends the server and serve.sh" server_gone

e2e_finish
