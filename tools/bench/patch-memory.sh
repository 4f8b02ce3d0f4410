#!/usr/bin/env bash
# Peak memory of setup.exe under Wine during an update that patches the five largest DLLs of a
# bench-like release (Wine's five largest PE files, "rebuilt" as tools/bench/patch.sh rebuilds
# them, and packed with patches from the first version), beside a run with nothing to fetch
# measured in the same script. Prints the figures and the goal: the update may hold at most the
# in-flight budget plus the largest file plus 32 MiB more than the run that fetches nothing.
#
#   tools/bench/patch-memory.sh BENCH_BUILD CROSS_BUILD
#
# BENCH_BUILD holds plannix-release and the key pair in keys/ that CROSS_BUILD's setup.exe
# trusts; CROSS_BUILD also has add_root_ca.exe. The release is kept in
# BENCH_BUILD/bench-cache/patch-memory. PLANNIX_TEST_PORT: the server's port.
set -euo pipefail
source "$(dirname "$0")/common.sh"
bench=$(cd "${1:?usage: tools/bench/patch-memory.sh BENCH_BUILD CROSS_BUILD}" && pwd)
cross=$(cd "${2:?usage: tools/bench/patch-memory.sh BENCH_BUILD CROSS_BUILD}" && pwd)
tool=$bench/tools/release/plannix-release
cache=$bench/bench-cache/patch-memory

# Second stage: under the server, which serves both versions' blobs and the manifest pair
# copied into place.
if [ "${3:-}" = "--with-server" ]; then
  start_wine_stage "$cross" plannix-bench
  app=$cache/served/plannix/app
  # Copies, never links: the served folder shares its blobs with r2 as hard links.
  serve() {
    cp --remove-destination "$cache/$1/plannix/app/manifest.json" \
      "$cache/$1/plannix/app/manifest.sig" "$app/"
  }
  # Sets peak_kb, the peak VmHWM of Setup's process, and the run's log line.
  run_setup() {
    run_setup_measured 'C:\bench\Plannix'
    line=$(tail -n1 "$wintemp/plannix-setup.log" 2>/dev/null || true)
  }
  serve r1
  run_setup
  echo "install of version 1: $line"
  run_setup
  idle_peak=$peak_kb
  echo "nothing to fetch:     $line"
  serve r2
  mark=$(log_mark)
  run_setup
  update_peak=$peak_kb
  echo "update by patches:    $line"
  blobs=$(requests_since "$mark" | grep -c ' /plannix/app/blobs/' || true)
  patches=$(requests_since "$mark" | grep -c ' /plannix/app/patches/' || true)
  python3 - "$cache/r1/plannix/app/manifest.json" "$cache/r2/plannix/app/manifest.json" \
    "$idle_peak" "$update_peak" "$blobs" "$patches" "$root/engine/fetch_stage.h" <<'PY'
import json, re, sys
one = {f['path']: f for f in json.load(open(sys.argv[1]))['files']}
two = json.load(open(sys.argv[2]))['files']
idle, update, blobs, patches = (int(v) for v in sys.argv[3:7])
MiB = 2**20
changed = [f for f in two if one.get(f['path'], {}).get('sha256') != f['sha256']]
def charge(f):  # what one transfer holds at its peak: the blob path's, or the patch path's
    whole = f['csize'] + f['size']
    old = one[f['path']]['size']
    return max([whole] + [old + p['size'] + f['size'] for p in f.get('patches', [])])
# The engine's own budget, read from its one definition.
shift = re.search(r'kInFlightBudget = (\d+)ull << (\d+);', open(sys.argv[7]).read())
budget = max([int(shift[1]) << int(shift[2])] + [charge(f) for f in changed])
largest = max(f['size'] for f in two)
print('changed files: %d, fetched as %d patches and %d whole blobs' % (len(changed), patches, blobs))
print('%-48s %9.1f MiB' % ('largest file', largest / MiB))
print('%-48s %9.1f MiB' % ('peak of a run with nothing to fetch (VmHWM)', idle / 1024))
print('%-48s %9.1f MiB' % ('peak of the update by patches (VmHWM)', update / 1024))
print('%-48s %9.1f MiB' % ('difference: what the update itself held', (update - idle) / 1024))
print('%-48s %9.1f MiB' % ('goal: in-flight budget + largest file + 32 MiB', (budget + largest) / MiB + 32))
print('%-48s %9.2f' % ('ratio difference / goal (at most 1.0)', (update - idle) * 1024 / (budget + largest + 32 * MiB)))
PY
  exit 0
fi

# --- the two versions, made once -----------------------------------------------------------
if [ ! -f "$cache/stamp" ]; then
  rm -rf "$cache"
  mkdir -p "$cache"
  PYTHONPATH="$root/tools/bench" python3 - "$cache" <<'PY'
import sys
from bench_pe import write_two_versions
write_two_versions(sys.argv[1], 5, 5)
PY
  [ -f "$bench/keys/private.pem" ] || "$tool" keygen "$bench/keys" >/dev/null
  "$tool" pack --key "$bench/keys/private.pem" --version 1 "$cache/src1" "$cache/r1" >/dev/null
  "$tool" pack --key "$bench/keys/private.pem" --version 2 --previous "$cache/r1" "$cache/src2" \
    "$cache/r2" | grep '^patches:' || true
  mkdir -p "$cache/served"
  cp -al "$cache/r2/." "$cache/served/"
  cp -aln "$cache/r1/plannix/app/blobs/." "$cache/served/plannix/app/blobs/"
  rm "$cache/served/plannix/app/manifest.json" "$cache/served/plannix/app/manifest.sig"
  touch "$cache/stamp"
fi

"$root/tools/wine/template.sh" >/dev/null
xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
  "$root/tools/testserver/with_server.sh" --certs "$bench/testserver-certs" \
  --root "$cache/served" --port "$port" --lifetime 3600 -- "$0" "$bench" "$cross" --with-server
