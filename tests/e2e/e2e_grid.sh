#!/usr/bin/env bash
# The thumbnail grid on a real X server, once on a 1280x800 screen and once
# on a 1024x768 one: the program opens on the tab of the screen's shape with
# the slots laid out for it; category 1 holds eight pictures, so it has two
# page links and page 2 fills two slots; each local category shows its own
# pictures. Every sample picture of local category N is painted in N's colour
# family, so a pixel of a slot tells which category it came from, and a slot
# left empty shows the white grid panel.
# Arguments: the staged program folder, the build folder.

# The checks are small functions that e2e_expect calls by name.
# shellcheck disable=SC2317
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init "$@"

readonly WINDOW_W=799 WINDOW_H=599
readonly START_SECONDS=60 # a sanitizer build starts slowly
readonly FILL_SECONDS=15  # a page's thumbnails arrive one by one

# Window coordinates: the wallpaper page stands at 20,88; inside it the
# category column at 3,12, the grid panel Panel1 at 194,5 and the page bar
# at 198,399.
readonly PAGE_X=20 PAGE_Y=88
readonly COLUMN_X=$((PAGE_X + 3)) COLUMN_Y=$((PAGE_Y + 12))
readonly PANEL_X=$((PAGE_X + 194)) PANEL_Y=$((PAGE_Y + 5))
readonly BAR_X=$((PAGE_X + 198)) BAR_Y=$((PAGE_Y + 399))
readonly TAB_Y=53 NORMAL_TAB_X=40 WIDE_TAB_X=151

# --- the private store: category 1 gets four more pictures in each shape

# Two more in the category's own colours, then two from categories 4 and 5
# whose names sort last without regard to case; the capital "S_" one sorts
# first under a plain byte order and is missed by a case-sensitive mask.
readonly PAGE_TWO=(4 5)
# add_picture SHAPE CATEGORY/TAIL THUMBNAIL LARGE: a copy of a store pair
# in category 1 under other names.
add_picture() {
  local folder=$E2E_APP_DIR/wallpaper/$1/local
  if ! cp "$folder/${2%/*}/s_${2#*/}" "$folder/1/$3" || ! cp "$folder/${2%/*}/l_${2#*/}" "$folder/1/$4"; then
    e2e_abort "cannot add $3 to the $1 store"
  fi
}
add_pictures() {
  add_picture "$1" 1/nature-meadow.jpg s_nature-pine.jpg l_nature-pine.jpg
  add_picture "$1" 1/nature-moss.jpg s_nature-reed.jpg l_nature-reed.jpg
  add_picture "$1" 4/game-neon.jpg S_ZZ-Grape.JPG L_ZZ-Grape.JPG
  add_picture "$1" 5/art-ember.jpg s_zz-ruby.jpg l_zz-ruby.jpg
}

# Pictures per local category in the store as the program sees it.
category_size() {
  find "$E2E_APP_DIR/wallpaper/$1/local/$2" -maxdepth 1 -type f -iname 's_*' \( -iname '*.jpg' -o -iname '*.bmp' \) |
    wc -l
}

e2e_copy_program
add_pictures normal
add_pictures widescreen

# --- where things are

# Slot geometry inside Panel1 for a shape: the slot panels' lefts and tops,
# and the thumbnail's box inside its slot.
use_shape() {
  if [[ $1 == widescreen ]]; then
    SLOT_LEFTS=(8 191 374) SLOT_TOPS=(32 208) IMAGE_X=7 IMAGE_Y=20 IMAGE_W=160 IMAGE_H=100
  else
    SLOT_LEFTS=(18 197 376) SLOT_TOPS=(29 205) IMAGE_X=9 IMAGE_Y=18 IMAGE_W=145 IMAGE_H=110
  fi
}


# Five points of slot N's thumbnail box on the screen: the middle and four
# points halfway to its corners.
slot_points() {
  local n=$(($1 - 1))
  local x=$((win_x + PANEL_X + SLOT_LEFTS[n % 3] + IMAGE_X)) y=$((win_y + PANEL_Y + SLOT_TOPS[n / 3] + IMAGE_Y))
  local qx=$((IMAGE_W / 4)) qy=$((IMAGE_H / 4))
  echo "$((x + 2 * qx)) $((y + 2 * qy)) $((x + qx)) $((y + qy)) $((x + 3 * qx)) $((y + qy))" \
    "$((x + qx)) $((y + 3 * qy)) $((x + 3 * qx)) $((y + 3 * qy))"
}

# What slot N of the screenshot shows: the category (1..5) when all five
# points are in one category's colours, "0" when all are the white panel,
# "?" otherwise.
slot_content() {
  local shot=$1 seen="" pixel content
  # shellcheck disable=SC2046  # the points are words on purpose
  while read -r pixel; do
    if e2e_colour_near "$pixel" "255 255 255" 2; then
      content=0
    else
      content=$(e2e_sample_category "$pixel")
      [[ $content == 0 ]] && content="?"
    fi
    [[ -n $seen && $seen != "$content" ]] && content="?"
    seen=$content
    [[ $seen == "?" ]] && break
  done < <(e2e_pixels_of "$shot" $(slot_points "$2"))
  echo "${seen:-?}"
}

# grid_now: the six slots' contents, as "1 1 1 0 0 0".
grid_now() {
  local shot n contents=()
  shot=$(e2e_screenshot grid-now) || return 1
  for n in 1 2 3 4 5 6; do contents+=("$(slot_content "$shot" "$n")"); done
  echo "${contents[*]}"
}

GRID_SEEN=""
grid_is() {
  GRID_SEEN=$(grid_now)
  [[ $GRID_SEEN == "$1" ]]
}

# expect_grid DESCRIPTION "C1 C2 C3 C4 C5 C6": waits for the page to fill.
expect_grid() {
  if e2e_wait_until "$FILL_SECONDS" grid_is "$2"; then
    e2e_pass "$1 ($2)"
  else
    e2e_fail "$1: expected slots \"$2\", the screen shows \"$GRID_SEEN\""
  fi
}

# The grid of a category of COUNT pictures on page PAGE.
expected_grid() {
  local category=$1 count=$2 page=$3 n entry contents=()
  for n in 1 2 3 4 5 6; do
    entry=$(((page - 1) * 6 + n))
    if ((entry > count)); then
      contents+=(0)
    elif ((category == 1 && entry > 6)); then
      contents+=("${PAGE_TWO[entry - 7]}")
    else
      contents+=("$category")
    fi
  done
  echo "${contents[*]}"
}

# --- page links: white boxes on the dark page bar, the current one in blue

link_box() { echo "$((win_x + BAR_X + 3 + 26 * ($1 - 1))) $((win_y + BAR_Y + 2))"; }

link_visible() {
  local x y
  read -r x y <<<"$(link_box "$2")"
  e2e_colour_near "$(e2e_pixels_of "$1" $((x + 1)) $((y + 1)))" "255 255 255" 12
}

# The link's caption has pixels of the current-page colour (0,128,255).
link_marked() {
  local x y
  read -r x y <<<"$(link_box "$2")"
  convert "$1" -crop "20x15+$x+$y" +repage -depth 8 txt:- 2>/dev/null | sed -n 's/^[^(]*(\([0-9,]*\)).*/\1/p' |
    awk -F, '$1 < 70 && $2 > 90 && $2 < 170 && $3 > 200 { found = 1 } END { exit !found }'
}

LINKS_SEEN=""
# links_are VISIBLE MARKED: links 1..VISIBLE shown, the next one hidden,
# only link MARKED in the current-page colour.
links_are() {
  local shot k marked=() shown=0
  shot=$(e2e_screenshot links-now) || return 1
  for k in $(seq 1 $(($1 + 1 > 20 ? 20 : $1 + 1))); do
    link_visible "$shot" "$k" && shown=$k
    link_marked "$shot" "$k" && marked+=("$k")
  done
  LINKS_SEEN="links 1..$shown shown, marked: ${marked[*]:-none}"
  ((shown == $1)) && [[ ${marked[*]:-} == "$2" ]]
}

expect_links() {
  if e2e_wait_until 5 links_are "$2" "$3"; then
    e2e_pass "$1"
  else
    e2e_fail "$1: expected links 1..$2 shown and $3 marked; $LINKS_SEEN"
  fi
}

# --- clicks

click_in_window() {
  e2e_click $((win_x + $1)) $((win_y + $2))
  # Leave the pointer where it hovers nothing the checks look at.
  sleep 0.2
  e2e_move $((win_x + 400)) $((win_y + 20))
}

click_category() { click_in_window $((COLUMN_X + 61 + 30)) $((COLUMN_Y + 46 + 27 * ($1 - 1) + 8)); }
click_page_link() { click_in_window $((BAR_X + 3 + 26 * ($1 - 1) + 10)) $((BAR_Y + 2 + 7)); }

# --- the tab marker and the slot layout

marker_colour=$(e2e_pixels_of "$E2E_SOURCE_DIR/resources/skin/tab_marker.png" 8 22)
marked_tab_at() { e2e_colour_near "$(e2e_pixels_of "$1" $((win_x + $2 + 8)) $((win_y + TAB_Y + 22)))" "$marker_colour" 10; }
unmarked_tab_at() { ! marked_tab_at "$@"; }

# Two points of slots 1 and 5, in Panel1 coordinates, that only one of the
# two layouts covers with its thumbnail: the wide thumbnails reach further
# left, the normal ones further down.
in_thumbnail() {
  local family
  family=$(e2e_sample_category "$(e2e_pixels_of "$1" $((win_x + PANEL_X + $2)) $((win_y + PANEL_Y + $3)))")
  ((family != 0))
}
laid_out_for() {
  local shot=$1
  if [[ $2 == widescreen ]]; then
    in_thumbnail "$shot" 20 100 && ! in_thumbnail "$shot" 100 154 &&
      in_thumbnail "$shot" 200 280 && ! in_thumbnail "$shot" 280 330
  else
    ! in_thumbnail "$shot" 20 100 && in_thumbnail "$shot" 100 154 &&
      ! in_thumbnail "$shot" 200 280 && in_thumbnail "$shot" 280 330
  fi
}

# --- one session per screen size

# Stops what this script started for the previous screen, last-first.
end_session() {
  local i
  for ((i = ${#E2E_PIDS[@]} - 1; i >= 0; i--)); do e2e_stop_pid "${E2E_PIDS[i]}"; done
  E2E_PIDS=()
}

check_screen() {
  local size=$1 shape=$2 tab_x=$3 other_tab_x=$4 tab_name=$5
  use_shape "$shape"
  e2e_log "--- ${size%x*}: expecting the $tab_name tab"
  e2e_start_session "$size"
  e2e_start_program
  main=$(e2e_wait_window "$START_SECONDS" "$E2E_PROGRAM_PID" "$WINDOW_W" "$WINDOW_H") ||
    e2e_abort "no ${WINDOW_W}x${WINDOW_H} window appeared (log: $E2E_PROGRAM_LOG)"
  read -r win_x win_y _ _ <<<"$(e2e_geometry "$main")"
  e2e_move $((win_x + 400)) $((win_y + 20))

  local first count page_one
  count=$(category_size "$shape" 1)
  page_one=$(expected_grid 1 "$count" 1)
  expect_grid "$shape: the program opens on category 1, page 1" "$page_one"
  first=$(e2e_screenshot "$shape-start")
  e2e_expect "$shape: the tab marker stands on \"$tab_name\"" marked_tab_at "$first" "$tab_x"
  e2e_expect "$shape: the other shape's tab is not marked" unmarked_tab_at "$first" "$other_tab_x"
  e2e_expect "$shape: the slots have the $shape layout" laid_out_for "$first" "$shape"
  expect_links "$shape: category 1 ($count pictures) shows 2 page links, page 1 marked" 2 1

  click_page_link 2
  expect_grid "$shape: page 2 fills two slots with the pictures that sort last" "$(expected_grid 1 "$count" 2)"
  expect_links "$shape: page 2 is marked" 2 2
  e2e_screenshot "$shape-page-2" >/dev/null

  click_page_link 1
  expect_grid "$shape: page 1 again" "$page_one"
  expect_links "$shape: page 1 is marked again" 2 1

  # A category chosen while page 2 is marked starts on its page 1.
  click_page_link 2
  expect_grid "$shape: page 2 before another category" "$(expected_grid 1 "$count" 2)"
  local category
  for category in 3 2 4 5; do
    click_category "$category"
    count=$(category_size "$shape" "$category")
    expect_grid "$shape: category $category shows its $count pictures" "$(expected_grid "$category" "$count" 1)"
    expect_links "$shape: category $category has one page link, marked" 1 1
  done
  e2e_screenshot "$shape-category-5" >/dev/null

  click_category 1
  expect_grid "$shape: category 1 comes back on page 1" "$page_one"
  expect_links "$shape: category 1 has its 2 page links again" 2 1

  end_session
}

check_screen 1280x800x24 widescreen "$WIDE_TAB_X" "$NORMAL_TAB_X" Widescreen
check_screen 1024x768x24 normal "$NORMAL_TAB_X" "$WIDE_TAB_X" Normal

e2e_finish
