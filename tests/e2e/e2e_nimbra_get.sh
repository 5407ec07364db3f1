#!/usr/bin/env bash
# nimbra-get from the command line against a real nginx: a download gives the
# served bytes and exit status 0; a missing file, a bad command line and an
# interrupted download give status 1 and leave no file behind.
# nginx listens on port 80 of two other loopback addresses (127.77.0.3, and
# 127.77.0.4 with a rate limit), which needs the right to bind port 80, and
# on port 8080 for an address that names its port.
# Arguments: the staged program folder (unused), the build folder.
# Exit codes: 0 passed, 1 failed, 77 skipped.

# Only the shared helpers of lib.sh are used: no display, no program copy.
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

build=$(cd "${2:?usage: $0 STAGE_DIR BUILD_DIR}" && pwd)
nimbra_get=$build/tools/nimbra-get/nimbra-get
readonly ADDRESS=127.77.0.3 SLOW_ADDRESS=127.77.0.4

failures=0
check() {
  local description=$1
  shift
  if "$@"; then echo "e2e: ok: $description" >&2; else
    echo "e2e: FAIL: $description" >&2
    failures=$((failures + 1))
  fi
}

[[ -x $nimbra_get ]] || { echo "e2e: FAIL: no nimbra-get in $build" >&2; exit 1; }
e2e_require_nginx

work=$(mktemp -d "${TMPDIR:-/tmp}/nimbra-e2e-get.XXXXXX")
nginx_pid=
cleanup() {
  if [[ -n $nginx_pid ]]; then
    kill "$nginx_pid" 2>/dev/null
    wait "$nginx_pid" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/www" "$work/out"
cat >"$work/nginx.conf" <<EOF
daemon off;
master_process off;
pid $work/nginx.pid;
error_log $work/error.log;
events { worker_connections 256; }
http {
  access_log off;
  default_type application/octet-stream;
  client_body_temp_path $work/body;
  proxy_temp_path $work/proxy;
  fastcgi_temp_path $work/fastcgi;
  uwsgi_temp_path $work/uwsgi;
  scgi_temp_path $work/scgi;
  server { listen $ADDRESS:80; root $work/www; }
  server { listen $ADDRESS:8080; root $work/www; }
  server { listen $SLOW_ADDRESS:80; root $work/www; limit_rate 100k; }
}
EOF
"$E2E_NGINX" -p "$work" -c "$work/nginx.conf" -e "$work/error.log" 2>"$work/nginx.out" &
nginx_pid=$!
nginx_settled() { grep -q emerg "$work/nginx.out" 2>/dev/null || (exec 3<>"/dev/tcp/$ADDRESS/80") 2>/dev/null; }
e2e_wait_until 10 nginx_settled || { echo "e2e: FAIL: nginx did not listen within 10 s" >&2; exit 1; }
if grep -q emerg "$work/nginx.out"; then
  e2e_skip "nginx cannot listen on port 80: $(grep -m1 emerg "$work/nginx.out")"
fi

head -c 3000001 /dev/urandom >"$work/www/l_1.jpg"
no_leftovers() { [[ -z $(ls -A "$work/out") ]]; }
segments_exist() { compgen -G "$work/out/slow.jpg.\$\$\$.temp.*" >/dev/null; }

"$nimbra_get" --quiet "http://$ADDRESS/l_1.jpg" "$work/out/l_1.jpg"
check "a download ends with status 0" test $? -eq 0
check "the file holds the served bytes" cmp -s "$work/www/l_1.jpg" "$work/out/l_1.jpg"
"$nimbra_get" --segment-size 80000 "http://$ADDRESS/l_1.jpg" "$work/out/l_2.jpg" 2>"$work/progress.txt"
check "with the dialog's segment size too" cmp -s "$work/www/l_1.jpg" "$work/out/l_2.jpg"
check "progress is shown on standard error" grep -q "3000001 of 3000001 bytes" "$work/progress.txt"
rm -f "$work"/out/*

"$nimbra_get" --quiet "http://$ADDRESS/missing.jpg" "$work/out/missing.jpg" 2>/dev/null
check "a missing file ends with status 1" test $? -eq 1
check "and leaves nothing" no_leftovers

"$nimbra_get" --quiet "http://$ADDRESS:8080/l_1.jpg" "$work/out/port.jpg" 2>/dev/null
check "an address with a port reaches that port" cmp -s "$work/www/l_1.jpg" "$work/out/port.jpg"
rm -f "$work"/out/*

"$nimbra_get" --segment-size 0 "http://$ADDRESS/l_1.jpg" "$work/out/x.jpg" 2>/dev/null
check "a bad segment size is a usage error" test $? -eq 1
"$nimbra_get" "http://$ADDRESS/l_1.jpg" 2>/dev/null
check "a missing FILE is a usage error" test $? -eq 1
check "usage errors leave nothing" no_leftovers

# An interrupt cancels the download: status 1, no target, no segment file.
# The rate limit keeps the download running for half a minute.
"$nimbra_get" --quiet "http://$SLOW_ADDRESS/l_1.jpg" "$work/out/slow.jpg" 2>/dev/null &
get_pid=$!
check "segment files exist while the download runs" e2e_wait_until 10 segments_exist
kill -INT "$get_pid"
get_gone() { ! kill -0 "$get_pid" 2>/dev/null; }
if e2e_wait_until 10 get_gone; then
  wait "$get_pid"
  check "an interrupted download ends with status 1" test $? -eq 1
else
  check "an interrupted download ends within 10 s" false
  kill -KILL "$get_pid" 2>/dev/null
  wait "$get_pid" 2>/dev/null
fi
check "and leaves nothing" no_leftovers

if ((failures > 0)); then
  echo "e2e: $failures check(s) failed" >&2
  exit 1
fi
echo "e2e: all checks passed" >&2
