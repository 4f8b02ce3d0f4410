#!/usr/bin/env bash
# setup.exe under Wine on a network with latency: the install benchmark's release (made by
# tools/bench/install.sh) served by nginx through the publisher's server block, reached through
# tools/testserver/delay_proxy.py. Two fresh installs, one through the proxy without delay and
# one with 25 ms in each direction (a 50 ms round trip); the difference in time, divided by the
# round trip, is the number of round trips the install waited. A few round trips of 50 ms are
# less than the noise of a loaded machine, so a third install counts them again at a 1 s round
# trip. nginx's access log gives the connections each install opened.
#
#   tools/bench/network.sh BENCH_BUILD CROSS_BUILD
#
# As tools/bench/install.sh: CROSS_BUILD's setup.exe trusts BENCH_BUILD/keys and talks to
# localhost:PLANNIX_TEST_PORT, where the proxy listens; nginx listens on the next port.
set -euo pipefail
source "$(dirname "$0")/common.sh"
bench=$(cd "${1:?usage: tools/bench/network.sh BENCH_BUILD CROSS_BUILD}" && pwd)
cross=$(cd "${2:?usage: tools/bench/network.sh BENCH_BUILD CROSS_BUILD}" && pwd)
release=$bench/bench-cache/install/release
delay_ms=25
long_delay_ms=500

if [ "${3:-}" = "--with-nginx" ]; then
  proxy=""
  before_wine_end() { if [ -n "$proxy" ]; then kill "$proxy" 2>/dev/null || true; fi; }
  start_wine_stage "$cross" plannix-bench-net

  # One fresh install through the proxy with `delay` ms each way; sets run_s and connections.
  install_through() {
    local delay=$1 t0 mark
    rm -f "$work/ready"
    python3 "$root/tools/testserver/delay_proxy.py" --listen "$port" --to "$((port + 1))" \
      --delay-ms "$delay" --lifetime 1800 --ready-file "$work/ready" &
    proxy=$!
    for _ in $(seq 100); do [ -f "$work/ready" ] && break; sleep 0.05; done
    mark=$(log_mark)
    t0=$(now)
    wine "$work/setup.exe" /auto /dir "C:\\net\\d$delay" || true
    run_s=$(since "$t0")
    connections=$(requests_since "$mark" | awk '{ print $1 }' | sort -u | wc -l)
    blobs=$(requests_since "$mark" | awk '$3 ~ /\/blobs\// && $4 == 200' | wc -l)
    packs=$(requests_since "$mark" | awk '$3 ~ /\/packs\// && $4 == 200' | wc -l)
    bytes=$(requests_since "$mark" | awk '$3 ~ /\/(blobs|packs|patches)\// { s += $5 } END { print s + 0 }')
    kill "$proxy" 2>/dev/null; wait "$proxy" 2>/dev/null || true
    proxy=""
  }
  install_through 0
  plain_s=$run_s plain_conn=$connections plain_blobs=$blobs
  install_through "$delay_ms"
  slow_s=$run_s slow_conn=$connections slow_blobs=$blobs slow_packs=$packs slow_bytes=$bytes
  install_through "$long_delay_ms"
  long_s=$run_s

  python3 - <<EOF
n = $slow_blobs
rtt = 2 * $delay_ms / 1000
waited = ($slow_s - $plain_s) / rtt
print('%-52s %9d' % ('blobs fetched by one install', n))
print('%-52s %9d' % ('packs fetched by one install', $slow_packs))
print('%-52s %9.1f   (goal: at most 48.5)' % ('MB fetched by one install (blobs, packs)', $slow_bytes / 1e6))
print('%-52s %9.2f' % ('install through the proxy, no delay (s)', $plain_s))
print('%-52s %9.2f' % ('install through the proxy, %d ms round trip (s)' % (rtt * 1000), $slow_s))
print('%-52s %9.0f   (goal: at most 20; one per blob would be %d)'
      % ('round trips waited: (difference) / round trip', waited, n))
long_rtt = 2 * $long_delay_ms / 1000
print('%-52s %9.2f' % ('install through the proxy, %d ms round trip (s)' % (long_rtt * 1000), $long_s))
print('%-52s %9.1f   (goal: at most 20)'
      % ('round trips waited at that round trip', ($long_s - $plain_s) / long_rtt))
print('%-52s %6d and %d   (goal: at most 7 each)' % ('connections opened (nginx log), each install', $plain_conn, $slow_conn))
EOF
  exit 0
fi

[ -f "$release/plannix/app/manifest.json" ] ||
  { echo "network.sh: run tools/bench/install.sh first (it makes the release)" >&2; exit 1; }
"$root/tools/wine/template.sh" >/dev/null
xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" \
  "$root/tools/testserver/with_nginx.sh" --certs "$bench/testserver-certs" \
  --root "$release" --port "$((port + 1))" -- "$0" "$bench" "$cross" --with-nginx
