#!/usr/bin/env bash
# Runs a command while a private nginx serves a release folder through the publisher's server
# block, tools/release/nginx-site.conf, then stops nginx and passes the command's exit code on.
#   with_nginx.sh --certs DIR --root RELEASE_DIR --port PORT [--log FILE] -- COMMAND [ARGS ...]
# --certs: folder of the test CA and server certificate (made there once, make_certs.sh).
# --log: the access log (default: a temporary file). One line per request, written when the
#   response has been sent: "$connection $request_method $request_uri $status $body_bytes_sent",
#   e.g. "3 GET /plannix/app/manifest.json 200 1234"; requests on one connection share its serial.
# Exported to the command:
#   PLANNIX_TESTSERVER_CA   the CA certificate, DER, for the Windows Root store
#   PLANNIX_TESTSERVER_LOG  the access log
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
site="$here/../release/nginx-site.conf"
certs="" log="" root="" port=""
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  case "$1" in
    --certs) certs=${2:-}; shift 2 ;;
    --root) root=${2:-}; shift 2 ;;
    --port) port=${2:-}; shift 2 ;;
    --log) log=${2:-}; shift 2 ;;
    *) echo "with_nginx.sh: unknown option $1" >&2; shift $# ;;
  esac
done
if [ "${1:-}" != "--" ] || [ $# -lt 2 ] || [ -z "$certs" ] || [ -z "$root" ] ||
  ! [[ "$port" =~ ^[0-9]+$ ]]; then
  sed -n '2,12p' "$0" >&2
  exit 2
fi
shift
command -v nginx >/dev/null || [ -x /usr/sbin/nginx ] ||
  { echo "with_nginx.sh: nginx is not installed (Debian: nginx-light)" >&2; exit 1; }
nginx=$(command -v nginx || echo /usr/sbin/nginx)
[ -d "$root" ] || { echo "with_nginx.sh: no folder $root" >&2; exit 1; }
"$here/make_certs.sh" "$certs" || exit 1
certs=$(cd "$certs" && pwd)
root=$(cd "$root" && pwd)
run=$(mktemp -d "${TMPDIR:-/tmp}/plannix-nginx.XXXXXX")
[ -n "$log" ] || log="$run/access.log"
: >"$log" || { echo "with_nginx.sh: cannot write $log" >&2; rm -rf "$run"; exit 1; }
log=$(cd "$(dirname "$log")" && pwd)/$(basename "$log")

# The site file as the publisher would install it, with the test's address, certificate and
# root in the marked lines; every served rule stays the file's own. Each line must be found
# exactly once, so a renamed line fails here rather than serving the example values.
quote() { printf '"%s"' "${1//\"/\\\"}"; }
declare -A want=(
  [listen]="    listen 127.0.0.1:$port ssl http2;"
  [listen6]=""
  [server_name]="    server_name localhost;"
  [ssl_certificate]="    ssl_certificate $(quote "$certs/server.pem");"
  [ssl_certificate_key]="    ssl_certificate_key $(quote "$certs/server.key");"
  [root]="    root $(quote "$root");"
)
declare -A seen=()
while IFS= read -r line; do
  read -r directive first _ <<<"$line"
  key=""
  case "$directive" in
    listen) [[ "$first" == \[* ]] && key=listen6 || key=listen ;;
    server_name | ssl_certificate | ssl_certificate_key | root) key=$directive ;;
  esac
  if [ -n "$key" ]; then
    seen[$key]=$((${seen[$key]:-0} + 1))
    [ -n "${want[$key]}" ] && printf '%s\n' "${want[$key]}"
  else
    printf '%s\n' "$line"
  fi
done <"$site" >"$run/site.conf"
for key in "${!want[@]}"; do
  if [ "${seen[$key]:-0}" -ne 1 ]; then
    echo "with_nginx.sh: $site has ${seen[$key]:-0} '$key' lines; expected one" >&2
    rm -rf "$run"
    exit 1
  fi
done

mkdir -p "$run/temp"
cat >"$run/nginx.conf" <<EOF
# A private single-process instance: nothing of the system's nginx is read or written.
daemon off;
master_process off;
pid $(quote "$run/nginx.pid");
error_log $(quote "$run/error.log") warn;
events { worker_connections 256; }
http {
    log_format plannix_test '\$connection \$request_method \$request_uri \$status \$body_bytes_sent';
    access_log $(quote "$log") plannix_test;
    client_body_temp_path $(quote "$run/temp/body");
    proxy_temp_path $(quote "$run/temp/proxy");
    fastcgi_temp_path $(quote "$run/temp/fastcgi");
    uwsgi_temp_path $(quote "$run/temp/uwsgi");
    scgi_temp_path $(quote "$run/temp/scgi");
    include $(quote "$run/site.conf");
}
EOF

"$nginx" -e "$run/error.log" -p "$run" -c "$run/nginx.conf" 2>"$run/start.err" &
server=$!
# Stops nginx even when this script is killed outright (a test's time limit).
(
  while kill -0 $$ 2>/dev/null; do sleep 1; done
  kill "$server" 2>/dev/null
  sleep 1
  rm -rf "$run"
) &
watcher=$!
stop() {
  kill "$watcher" 2>/dev/null
  kill "$server" 2>/dev/null
  wait "$server" 2>/dev/null
  rm -rf "$run"
}
trap stop EXIT
# nginx writes its pid file only once its sockets listen.
for _ in $(seq 200); do
  [ -s "$run/nginx.pid" ] && break
  if ! kill -0 "$server" 2>/dev/null; then
    echo "with_nginx.sh: nginx did not start:" >&2
    cat "$run/start.err" "$run/error.log" >&2 2>/dev/null
    exit 1
  fi
  sleep 0.05
done
[ -s "$run/nginx.pid" ] || { echo "with_nginx.sh: nginx is not listening after 10 s" >&2; exit 1; }
export PLANNIX_TESTSERVER_CA="$certs/ca.der" PLANNIX_TESTSERVER_LOG="$log"
"$@"
