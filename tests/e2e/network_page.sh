# shellcheck shell=bash
# The wallpaper page's points on the screen and the comparison of a slot with
# a picture, for the scripts that browse the network views. A script sets
# win_x and win_y (the window's top left on the screen) and E2E_TMP first.
# shellcheck disable=SC2154  # win_x and win_y belong to the script

readonly PAGE_X=20 PAGE_Y=88 COLUMN_X=3 COLUMN_Y=12 PANEL_X=194 PANEL_Y=5
network_link_point() { echo "$((win_x + PAGE_X + COLUMN_X + 61 + 30)) $((win_y + PAGE_Y + COLUMN_Y + 239 + 27 * ($1 - 1) + 8))"; }
slot_box() { # "X Y" of slot N's picture box (145x110) on the screen
  local lefts=(18 197 376) tops=(29 205) n=$(($1 - 1))
  echo "$((win_x + PAGE_X + PANEL_X + lefts[n % 3] + 9)) $((win_y + PAGE_Y + PANEL_Y + tops[n / 3] + 18))"
}
slot_centre() { read -r x y <<<"$(slot_box "$1")" && echo "$((x + 72)) $((y + 55))"; }
# shellcheck disable=SC2046  # the points are two words on purpose
click_network_link() { e2e_click $(network_link_point "$1"); }
# shellcheck disable=SC2046
select_slot() { e2e_click $(slot_centre "$1"); }
press_set_wallpaper() { e2e_click $((win_x + PAGE_X + 539 + 104)) $((win_y + PAGE_Y + 430 + 15)); }

# --- comparing what the screen shows with the folder's pictures

# Both sides are shrunk to a small grid first, so a pixel of offset or the
# scaling's rounding does not count; normalised RMSE, 0..1.
readonly GRID=36x27
shrink() { convert "$1" -resize "$GRID!" -depth 8 "$2"; }
slot_crop() { # SHOT SLOT OUT
  local x y
  read -r x y <<<"$(slot_box "$2")"
  convert "$1" -crop "145x110+$x+$y" +repage -resize "$GRID!" -depth 8 "$3"
}
distance() { compare -metric RMSE "$1" "$2" null: 2>&1 | sed -n 's/.*(\([0-9.e-]*\)).*/\1/p'; }
less_than() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; }

# slot_shows SHOT SLOT WANTED CANDIDATES...: the slot matches the wanted
# picture closely, and better than every other candidate.
slot_shows() {
  local shot=$1 slot=$2 wanted=$3 file d best=9 best_file=""
  shift 3
  slot_crop "$shot" "$slot" "$E2E_TMP/slot.png" || return 1
  for file in "$@"; do
    shrink "$file" "$E2E_TMP/candidate.png" || return 1
    d=$(distance "$E2E_TMP/slot.png" "$E2E_TMP/candidate.png")
    if less_than "${d:-9}" "$best"; then
      best=$d
      best_file=$file
    fi
  done
  [[ $best_file == "$wanted" ]] && less_than "$best" 0.08
}
slot_hidden() { # SHOT SLOT: Panel1's white shows where the slot's picture would be
  local x y
  read -r x y <<<"$(slot_centre "$2")"
  e2e_colour_near "$(e2e_pixel_of "$1" "$x" "$y")" "255 255 255" 2
}

# serve_site FOLDER [SERVE OPTIONS...]: serves a home site on $HOST port 80
# through tools/demo-site/serve.sh, and waits until it answers; its access
# log is then $access_log and its process $serve_pid.
# shellcheck disable=SC2034  # access_log and serve_pid are read by the scripts
serve_site() {
  local folder=$1
  shift
  export NIMBRA_DEMO_STATE=$E2E_TMP/nginx
  bash "$E2E_SOURCE_DIR/tools/demo-site/serve.sh" "$@" "$folder" >"$E2E_OUT/serve.log" 2>&1 &
  serve_pid=$!
  e2e_track "$serve_pid"
  e2e_wait_until 15 port_answers || e2e_abort "serve.sh did not start nginx (see $E2E_OUT/serve.log)"
  access_log=$NIMBRA_DEMO_STATE/access.log
}
port_answers() { (exec 3<>"/dev/tcp/$HOST/80") 2>/dev/null; }
