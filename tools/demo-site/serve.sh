#!/usr/bin/env bash
# Serves a home site, published by nimbra-catalogue or written by
# nimbra-demo-site, on 127.0.0.1 port 80, with nginx, in the foreground until
# Ctrl-C:
#   tools/demo-site/serve.sh [--rate RATE] [--tls CERTIFICATE KEY] FOLDER
#   tools/demo-site/serve.sh stop          (from another terminal or script)
# --rate limits each connection that fetches a large picture ("l_" files), for
# example 64k, so that the progress dialog can be watched at work.
# --tls serves the site on port 443 over https as well, with the given PEM
# certificate and key (a site published with --url https://...).
# The nginx configuration, its pid file and its logs live in a folder of
# their own: $NIMBRA_DEMO_STATE, by default ${TMPDIR:-/tmp}/nimbra-demo-site-<uid>.
# Port 80 needs root (or a lowered net.ipv4.ip_unprivileged_port_start).
set -uo pipefail

readonly LISTEN_ADDRESS=127.0.0.1
state=${NIMBRA_DEMO_STATE:-${TMPDIR:-/tmp}/nimbra-demo-site-$(id -u)}
pid_file=$state/nginx.pid
nginx_pid=

say() { echo "serve.sh: $*" >&2; }
usage() {
  echo "usage: $0 [--rate RATE] [--tls CERTIFICATE KEY] FOLDER | $0 stop" >&2
  exit 2
}

# The nginx master of this script's configuration, if one runs: a stale pid
# file must never make us signal some other process.
running_pid() {
  local pid
  [[ -s $pid_file ]] || return 1
  pid=$(head -n1 "$pid_file")
  [[ $pid =~ ^[0-9]+$ ]] || return 1
  local command_line
  command_line=$(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null) || return 1
  [[ $command_line == *nginx* && $command_line == *"$state/nginx.conf"* ]] || return 1
  echo "$pid"
}

wait_gone() {
  local pid=$1 tries
  for ((tries = 0; tries < 50; tries++)); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.1
  done
  return 1
}

stop_server() {
  local pid
  pid=$(running_pid) || {
    say "no site is being served (no live nginx in $pid_file)"
    return 1
  }
  kill -QUIT "$pid" 2>/dev/null # finishes the requests under way
  wait_gone "$pid" || { kill -TERM "$pid" 2>/dev/null && wait_gone "$pid"; }
  say "stopped"
}

nginx_program() {
  command -v nginx 2>/dev/null || { [[ -x /usr/sbin/nginx ]] && echo /usr/sbin/nginx; }
}

write_config() {
  local folder=$1 rate=$2 certificate=$3 key=$4 user_line="" rate_block="" tls_lines=""
  # Workers of a root nginx drop to "nobody", who may not read a folder under
  # /root; they keep root's rights here, and serve only this folder.
  [[ $(id -u) == 0 ]] && user_line="user root;"
  [[ -n $rate ]] && rate_block="location ~ /l_[^/]*\$ { limit_rate $rate; }"
  [[ -n $certificate ]] &&
    tls_lines="listen $LISTEN_ADDRESS:443 ssl; ssl_certificate $certificate; ssl_certificate_key $key;"
  cat >"$state/nginx.conf" <<EOF
$user_line
daemon off;
worker_processes 1;
pid $pid_file;
error_log $state/error.log;
events { worker_connections 256; }
http {
  types { text/html html htm; image/jpeg jpg jpeg; image/bmp bmp; }
  default_type application/octet-stream;
  access_log $state/access.log;
  sendfile on;
  client_body_temp_path $state/tmp/body;
  proxy_temp_path $state/tmp/proxy;
  fastcgi_temp_path $state/tmp/fastcgi;
  uwsgi_temp_path $state/tmp/uwsgi;
  scgi_temp_path $state/tmp/scgi;
  server {
    listen $LISTEN_ADDRESS:80;
    $tls_lines
    root $folder;
    index index.html;
    # The publisher's state and lock files, and files being written, are no
    # one's business but the publisher's.
    location ~ /\. { return 404; }
    $rate_block
  }
}
EOF
}

port_answers() { (exec 3<>"/dev/tcp/$LISTEN_ADDRESS/80") 2>/dev/null; }

stop_on_signal() {
  [[ -n $nginx_pid ]] && kill -QUIT "$nginx_pid" 2>/dev/null
}

serve() {
  local folder=$1 rate=$2 certificate=$3 key=$4 nginx tries
  nginx=$(nginx_program) || {
    say "nginx is not installed (Debian: apt-get install nginx-light)"
    exit 1
  }
  [[ -f $folder/software/ver.htm && -f $folder/software/allindex.htm ]] || {
    say "$folder holds no home site; publish one with: nimbra-catalogue publish SOURCE $folder"
    exit 1
  }
  if running_pid >/dev/null; then
    say "a site is already served from $state; stop it with: $0 stop"
    exit 1
  fi
  mkdir -p "$state/tmp" || exit 1
  rm -f "$state/error.log" "$pid_file"
  write_config "$(cd "$folder" && pwd)" "$rate" "$certificate" "$key"
  trap stop_on_signal INT TERM HUP
  "$nginx" -p "$state" -c "$state/nginx.conf" -e "$state/error.log" &
  nginx_pid=$!
  for ((tries = 0; tries < 100; tries++)); do
    kill -0 "$nginx_pid" 2>/dev/null || break
    [[ -s $pid_file ]] && port_answers && break
    sleep 0.1
  done
  if ! kill -0 "$nginx_pid" 2>/dev/null; then
    say "nginx did not start:"
    cat "$state/error.log" >&2
    [[ $(id -u) != 0 ]] && say "port 80 needs root"
    exit 1
  fi
  say "serving $folder on http://$LISTEN_ADDRESS/ (Ctrl-C or \"$0 stop\" ends it; logs in $state)"
  # wait returns early when a signal arrives; go on waiting until nginx is gone.
  while kill -0 "$nginx_pid" 2>/dev/null; do wait "$nginx_pid"; done
  say "nginx has ended"
}

main() {
  local rate="" folder="" certificate="" key=""
  while (($# > 0)); do
    case $1 in
      stop)
        (($# == 1)) || usage
        stop_server
        exit
        ;;
      --rate)
        (($# >= 2)) || usage
        rate=$2
        shift
        ;;
      --rate=*) rate=${1#--rate=} ;;
      --tls)
        (($# >= 3)) || usage
        certificate=$(realpath "$2") key=$(realpath "$3")
        shift 2
        ;;
      -*) usage ;;
      *)
        [[ -z $folder ]] || usage
        folder=$1
        ;;
    esac
    shift
  done
  [[ -n $folder ]] || usage
  [[ -z $rate || $rate =~ ^[0-9]+[kKmM]?$ ]] || {
    say "--rate takes bytes a second, such as 64k"
    exit 2
  }
  serve "$folder" "$rate" "$certificate" "$key"
}

main "$@"
