#!/usr/bin/env bash
# Runs a command while the HTTPS test server listens, then stops the server and passes the
# command's exit code through.
#   with_server.sh --certs DIR [--log FILE] [server.py options ...] -- COMMAND [ARGS ...]
# --certs: folder of the test CA and server certificate (made there once, make_certs.sh).
# --log: the request log (default: a temporary file). Exported to the command:
#   PLANNIX_TESTSERVER_CA   the CA certificate, DER, for the Windows Root store
#   PLANNIX_TESTSERVER_LOG  the request log
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
certs="" log="" server_args=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  case "$1" in
    --certs) certs=$2; shift 2 ;;
    --log) log=$2; shift 2 ;;
    *) server_args+=("$1"); shift ;;
  esac
done
if [ "${1:-}" != "--" ] || [ $# -lt 2 ] || [ -z "$certs" ]; then
  sed -n '2,9p' "$0" >&2
  exit 2
fi
shift
"$here/make_certs.sh" "$certs" || exit 1
run=$(mktemp -d "${TMPDIR:-/tmp}/plannix-testserver.XXXXXX")
[ -n "$log" ] || log="$run/requests.log"
python3 "$here/server.py" --cert "$certs/server.pem" --key "$certs/server.key" --log "$log" \
  --ready-file "$run/ready" --parent $$ "${server_args[@]}" &
server=$!
stop() {
  kill "$server" 2>/dev/null
  wait "$server" 2>/dev/null
  rm -rf "$run"
}
trap stop EXIT
for _ in $(seq 200); do
  [ -f "$run/ready" ] && break
  kill -0 "$server" 2>/dev/null || { echo "with_server.sh: the server did not start" >&2; exit 1; }
  sleep 0.05
done
[ -f "$run/ready" ] || { echo "with_server.sh: the server is not listening after 10 s" >&2; exit 1; }
export PLANNIX_TESTSERVER_CA="$certs/ca.der" PLANNIX_TESTSERVER_LOG="$log"
"$@"
