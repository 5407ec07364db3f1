#!/usr/bin/env bash
# The catalogue over https, with a certificate authority made for this run:
# nimbra-get fetches from nginx over TLS byte for byte, fails with the reason
# and leaves no file when the authority does not sign the server's
# certificate, follows an http address that redirects to https, and takes a
# 5 MB file whole from python3 -m http.server, which ignores ranges. Then the
# program, pointed at https://127.0.0.1/ through NIMBRA_HOME_HOST and through
# setting.ini, shows a network category's thumbnails and sets one as the
# wallpaper.
# Arguments: the staged program folder, the build folder.

# The checks are small functions that e2e_expect calls by name.
# shellcheck disable=SC2317
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init "$@"
# shellcheck source=network_page.sh
source "$(dirname "${BASH_SOURCE[0]}")/network_page.sh"

readonly HOST=127.0.0.1
readonly WINDOW_W=799 WINDOW_H=599
readonly START_SECONDS=60
readonly VIEW_SECONDS=60
readonly SCREEN_W=1024 SCREEN_H=768

[[ $(id -u) == 0 ]] || e2e_skip "the site is served on ports 80 and 443, which needs root"
e2e_require_nginx
command -v openssl >/dev/null || e2e_skip "openssl is not installed (see .ci/packages.txt)"
command -v python3 >/dev/null || e2e_skip "python3 is not installed"
for port in 80 443; do
  if (exec 3<>"/dev/tcp/$HOST/$port") 2>/dev/null; then e2e_skip "another server already listens on $HOST port $port"; fi
done
unset http_proxy https_proxy all_proxy HTTP_PROXY HTTPS_PROXY ALL_PROXY no_proxy NO_PROXY

build_dir=$(cd "$2" && pwd)
nimbra_get=$build_dir/tools/nimbra-get/nimbra-get
tool=$build_dir/tools/nimbra-catalogue/nimbra-catalogue
for target in nimbra-get nimbra-catalogue; do
  [[ -x $build_dir/tools/$target/$target ]] && continue
  cmake --build "$build_dir" --target "$target" >"$E2E_OUT/build.log" 2>&1 ||
    e2e_abort "building $target failed (see $E2E_OUT/build.log)"
done

# --- a throwaway authority, and a certificate it signs for 127.0.0.1

tls=$E2E_TMP/tls
mkdir -p "$tls"
make_authority() { openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=$1" -keyout "$tls/$1.key" -out "$tls/$1.pem"; }
{
  make_authority test-ca && make_authority other-ca &&
    openssl req -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -keyout "$tls/server.key" -out "$tls/server.csr" &&
    printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\n' >"$tls/server.ext" &&
    openssl x509 -req -in "$tls/server.csr" -CA "$tls/test-ca.pem" -CAkey "$tls/test-ca.key" -CAcreateserial \
      -days 2 -extfile "$tls/server.ext" -out "$tls/server.pem"
} >"$E2E_OUT/openssl.log" 2>&1 || e2e_abort "openssl could not make the certificates (see $E2E_OUT/openssl.log)"

# --- a site published for https, served on port 443 (and on 80)

source_folder=$E2E_TMP/pictures
site=$E2E_TMP/site
mkdir -p "$source_folder/Nature"
convert -size 1200x900 gradient:'#0b3d91-#8fd3ff' "$source_folder/Nature/lake.jpg" &&
  convert -size 1200x900 radial-gradient:'#ffeb3b-#4e342e' "$source_folder/Nature/sun.jpg" ||
  e2e_abort "convert could not paint the pictures"
"$tool" publish "$source_folder" "$site" --url "https://$HOST/" --jobs 2 >"$E2E_OUT/publish.log" 2>&1 ||
  e2e_abort "publishing for https failed (see $E2E_OUT/publish.log)"
https_addresses() { grep -c "^https://$HOST/" "$site/software/allindex.htm"; }
e2e_expect "the published index names https addresses" test "$(https_addresses)" -ge 2
head -c 3000001 /dev/urandom >"$site/f"
serve_site "$site" --tls "$tls/server.pem" "$tls/server.key"

# --- nimbra-get

out=$E2E_TMP/out
mkdir -p "$out"
export SSL_CERT_FILE=$tls/test-ca.pem
"$nimbra_get" --quiet "https://$HOST/f" "$out/f" 2>"$E2E_OUT/get-tls.log"
e2e_expect "nimbra-get https://127.0.0.1/f ends with status 0" test $? -eq 0
e2e_expect "the file is the served one, byte for byte" cmp -s "$site/f" "$out/f"

SSL_CERT_FILE=$tls/other-ca.pem "$nimbra_get" --quiet "https://$HOST/f" "$out/wrong" 2>"$E2E_OUT/get-wrong.log"
e2e_expect "a certificate the authority does not sign fails the download" test $? -eq 1
e2e_expect "the failure leaves no file" test ! -e "$out/wrong"
e2e_expect "the failure says why" grep -q "certificate is not accepted" "$E2E_OUT/get-wrong.log"

python_port=$((20000 + RANDOM % 20000))
(cd "$site" && exec python3 -m http.server "$python_port" --bind "$HOST") >"$E2E_OUT/python.log" 2>&1 &
e2e_track $!
python_answers() { (exec 3<>"/dev/tcp/$HOST/$python_port") 2>/dev/null; }
e2e_wait_until 15 python_answers || e2e_abort "python3 -m http.server did not start"
head -c 5000000 /dev/urandom >"$site/five"
"$nimbra_get" --quiet "http://$HOST:$python_port/five" "$out/five" 2>"$E2E_OUT/get-python.log"
e2e_expect "nimbra-get takes 5 MB from python3 -m http.server" cmp -s "$site/five" "$out/five"

# An http address that a server of its own redirects to the https site.
redirect_conf=$E2E_TMP/redirect.conf
cat >"$redirect_conf" <<EOF2
daemon off; master_process off; pid $E2E_TMP/redirect.pid; error_log $E2E_TMP/redirect.log;
events { worker_connections 64; }
http { access_log off; client_body_temp_path $E2E_TMP/rb; proxy_temp_path $E2E_TMP/rp;
  fastcgi_temp_path $E2E_TMP/rf; uwsgi_temp_path $E2E_TMP/ru; scgi_temp_path $E2E_TMP/rs;
  server { listen $HOST:$((python_port + 1)); return 301 https://$HOST\$request_uri; } }
EOF2
"$E2E_NGINX" -p "$E2E_TMP" -c "$redirect_conf" -e "$E2E_TMP/redirect.log" >"$E2E_OUT/redirect.log" 2>&1 &
e2e_track $!
redirect_answers() { (exec 3<>"/dev/tcp/$HOST/$((python_port + 1))") 2>/dev/null; }
e2e_wait_until 15 redirect_answers || e2e_abort "the redirecting nginx did not start"
"$nimbra_get" --quiet "http://$HOST:$((python_port + 1))/f" "$out/redirected" 2>"$E2E_OUT/get-redirect.log"
e2e_expect "an http address that redirects to https completes" cmp -s "$site/f" "$out/redirected"

# --- the program: NIMBRA_HOME_HOST, then setting.ini, name https://127.0.0.1/

e2e_start_session ${SCREEN_W}x${SCREEN_H}x24
network_folder() { echo "$E2E_APP_DIR/wallpaper/normal/network"; }
root_pixmap() { xprop -root _XROOTPMAP_ID 2>/dev/null | sed -n 's/.*# *//p'; }
pixmap_changed_from() { [[ -n $(root_pixmap) && $(root_pixmap) != "$1" ]]; }
thumbnails_stored() { compgen -G "$(network_folder)/1/s_*" >/dev/null; }

run_program_against_https() { # HOW
  local how=$1 main before
  e2e_copy_program
  if [[ $how == environment ]]; then
    export NIMBRA_HOME_HOST=https://$HOST/
  else
    unset NIMBRA_HOME_HOST
    printf '\r\n[home]\r\nhost=https://%s/\r\n' "$HOST" >>"$E2E_APP_DIR/setting.ini"
  fi
  # shellcheck disable=SC2119
  e2e_start_program
  main=$(e2e_wait_window "$START_SECONDS" "$E2E_PROGRAM_PID" "$WINDOW_W" "$WINDOW_H") ||
    e2e_abort "no ${WINDOW_W}x${WINDOW_H} window appeared (log: $E2E_PROGRAM_LOG)"
  e2e_wait_until 20 e2e_thumbnails_shown "$main" normal 1 ||
    e2e_abort "the first page of local thumbnails did not appear (log: $E2E_PROGRAM_LOG)"
  read -r win_x win_y _ _ <<<"$(e2e_geometry "$main")"
  click_network_link 1
  e2e_expect_within "$VIEW_SECONDS" "with the site in the $how, network Nature stores its thumbnails over https" \
    thumbnails_stored
  before=$(root_pixmap)
  select_slot 1
  press_set_wallpaper
  e2e_expect_within 60 "with the site in the $how, \"Set as Desktop Wallpaper\" applies a picture" \
    pixmap_changed_from "$before"
  e2e_stop_pid "$E2E_PROGRAM_PID"
}
run_program_against_https environment
run_program_against_https settings

e2e_finish
