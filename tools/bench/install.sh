#!/usr/bin/env bash
# Install and update speed of setup.exe under Wine, beside a native baseline of the same work
# measured in the same run:
#   - install of a ~200 MB release of ~1500 files (60% Wine's PE DLLs, 25% text, 15%
#     incompressible; many small files, three over 10 MB) from the localhost HTTPS test server:
#     wall time, MB/s installed and the Setup process's peak memory;
#   - baseline: curl fetching every blob over one keep-alive connection, sha256sum of the blobs,
#     our decoder over all blobs in one process (plannix-release verify on one thread, which
#     also hashes blobs and files), sha256sum of the files, and a copy of the files;
#   - an update of 2 changed files: bytes fetched beside the sum of their "csize", wall time.
#
#   tools/bench/install.sh BENCH_BUILD CROSS_BUILD
#
# BENCH_BUILD holds an optimised plannix-release and the key pair in keys/ that CROSS_BUILD's
# setup.exe trusts; CROSS_BUILD also has add_root_ca.exe. The source files and the release are
# kept in BENCH_BUILD/bench-cache/install between runs. PLANNIX_TEST_PORT: the server's port
# (the one CROSS_BUILD was configured with).
set -euo pipefail
source "$(dirname "$0")/common.sh"
bench=$(cd "${1:?usage: tools/bench/install.sh BENCH_BUILD CROSS_BUILD}" && pwd)
cross=$(cd "${2:?usage: tools/bench/install.sh BENCH_BUILD CROSS_BUILD}" && pwd)
tool=$bench/tools/release/plannix-release
cache=$bench/bench-cache/install

# Second stage: everything that needs the server, under one Xvfb display.
if [ "${3:-}" = "--with-server" ]; then
  start_wine_stage "$cross" plannix-bench
  app=$cache/release/plannix/app
  manifest=$app/manifest.json
  ca_pem=$(dirname "$PLANNIX_TESTSERVER_CA")/ca.pem

  # --- native baseline ---------------------------------------------------------------------
  mkdir -p "$work/blobs" "$work/copy"
  python3 - "$manifest" "$port" "$work/blobs" >"$work/curl.cfg" <<'EOF'
import json, sys
manifest, port, out = sys.argv[1:]
for sha in sorted({f['sha256'] for f in json.load(open(manifest))['files']}):
    print('url = "https://localhost:%s/plannix/app/blobs/%s.lzms"' % (port, sha))
    print('output = "%s/%s.lzms"' % (out, sha))
EOF
  t=$(now); curl -sS --fail --cacert "$ca_pem" -K "$work/curl.cfg"; curl_s=$(since "$t")
  t=$(now); (cd "$work/blobs" && find . -type f -print0 | xargs -0 sha256sum >/dev/null); blobsum_s=$(since "$t")
  t=$(now); PLANNIX_RELEASE_THREADS=1 "$tool" verify --public-key "$bench/keys/public.txt" \
    "$cache/release" >/dev/null; decode_s=$(since "$t")
  t=$(now); (cd "$cache/source" && find . -type f -print0 | xargs -0 sha256sum >/dev/null); filesum_s=$(since "$t")
  t=$(now); cp -r "$cache/source/." "$work/copy/"; sync -f "$work/copy"; copy_s=$(since "$t")
  rm -rf "$work/blobs" "$work/copy"

  # --- Setup under Wine --------------------------------------------------------------------
  target='C:\bench\Plannix'
  run_setup() { run_setup_measured "$target" "$@"; }
  logfile="$wintemp/plannix-setup.log"
  installed_line() { tail -n1 "$logfile" 2>/dev/null || true; }

  # The swap's time, from the last staged file to the record written: a moved file keeps the
  # time its staged copy was written, and the record is written last.
  folder_unix="$WINEPREFIX/drive_c/bench/Plannix"
  swap_seconds() {
    python3 - "$folder_unix" <<'PY'
import os, sys
root = sys.argv[1]
record = os.stat(os.path.join(root, 'install.json')).st_mtime_ns
last = max(os.stat(os.path.join(d, f)).st_mtime_ns for d, _, fs in os.walk(root) for f in fs
           if f != 'install.json')
print('%.3f' % ((record - last) / 1e9))
PY
  }

  # What the first installation fetched (packs and blobs), from the server's request log.
  fetched_since() {
    requests_since "$1" |
      awk '$1 == "GET" && $3 == 200 && $2 ~ /\/(blobs|packs|patches)\// { print $2 }' |
      while read -r url; do stat -c %s "$cache/release/${url#/}"; done |
      awk '{ n++; s += $1 } END { printf "%d %d\n", n, s }'
  }
  mark=$(log_mark)
  run_setup
  install_s=$run_s install_peak=$peak_kb
  install_log=$(installed_line)
  install_swap_s=$(swap_seconds)
  read -r first_requests first_bytes <<<"$(fetched_since "$mark")"
  run_setup # nothing to do: Setup's own footprint under Wine
  idle_s=$run_s idle_peak=$peak_kb
  # The same install into a folder on tmpfs, where flushing to disk costs nothing: the share of
  # the time that each file's flush and write-through move take on a real disk.
  tmpfs_s=0
  if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    shm=$(mktemp -d /dev/shm/plannix-bench.XXXXXX)
    target="Z:${shm//\//\\}"
    run_setup 2>/dev/null # Wine warns that Z: has no volume label
    tmpfs_s=$run_s
    rm -rf "$shm"
    target='C:\bench\Plannix'
  fi

  # --- update of two changed files ---------------------------------------------------------
  rm -rf "$work/source2"
  cp -al "$cache/source" "$work/source2"
  for f in text/usr/include/stdio.h pe/x86_64-windows/notepad.exe; do
    [ -f "$work/source2/$f" ] || f=$(cd "$work/source2" && find text pe -type f | LC_ALL=C sort | sed -n 100p)
    cp --remove-destination "$work/source2/$f" "$work/source2/$f.tmp"
    printf '\n/* changed for the update benchmark */\n' >>"$work/source2/$f.tmp"
    mv "$work/source2/$f.tmp" "$work/source2/$f"
  done
  "$tool" pack --key "$bench/keys/private.pem" --version bench-2 "$work/source2" "$cache/release" \
    >/dev/null 2>&1
  cp "$manifest" "$work/manifest-2.json"
  mark=$(log_mark)
  run_setup
  update_s=$run_s
  update_log=$(installed_line)
  update_swap_s=$(swap_seconds)
  read -r _ fetched <<<"$(fetched_since "$mark")"
  # Back to the first release for the next run (its blobs are reused).
  "$tool" pack --key "$bench/keys/private.pem" --version bench-1 "$cache/source" "$cache/release" \
    >/dev/null 2>&1

  python3 - "$manifest" "$work/manifest-2.json" <<EOF
import json, sys
one = {f['path']: f for f in json.load(open("$cache/manifest-1.json"))['files']}
two = json.load(open(sys.argv[2]))['files']
changed = [f for f in two if one.get(f['path'], {}).get('sha256') != f['sha256']]
installed = sum(f['size'] for f in one.values())
largest = max(one.values(), key=lambda f: f['csize'])
mb = 1e6
curl, blobsum, decode, filesum, copy = $curl_s, $blobsum_s, $decode_s, $filesum_s, $copy_s
base = curl + blobsum + decode + filesum + copy
setup = $install_s
print('release: %d files, %.1f MB installed, %.1f MB of blobs; largest blob %.1f MB (file %.1f MB)'
      % (len(one), installed / mb, sum(f['csize'] for f in one.values()) / mb,
         largest['csize'] / mb, largest['size'] / mb))
print()
print('%-48s %9s %9s' % ('install', 'seconds', 'MB/s'))
for name, s in (('native: curl, every blob, one connection', curl),
                ('native: sha256sum of the blobs', blobsum),
                ('native: our decoder + hashes, one process', decode),
                ('native: sha256sum of the files', filesum),
                ('native: copy of the files (synced)', copy),
                ('native baseline, sum', base),
                ('setup.exe /auto under Wine', setup)):
    print('%-48s %9.2f %9.1f' % (name, s, installed / mb / s))
print('%-48s %9.2f   (goal: at most 2.0)' % ('ratio setup.exe / native baseline', setup / base))
print('%-48s %9.2f   (its fixed cost: start, manifest, window)' % ('a setup.exe run with nothing to fetch', $idle_s))
if $tmpfs_s > 0:
    print('%-48s %9.2f %9.1f   (ratio %.2f)' % ('setup.exe, install folder on tmpfs (no flushes)', $tmpfs_s, installed / mb / $tmpfs_s, $tmpfs_s / base))
print('%-48s %s' % ('its log line', r"""$install_log"""))
print('%-48s %9.3f   (%d files)' % ('swap: last staged file to record written', $install_swap_s, len(one)))
print('%-48s %9.1f MB in %d requests   (goal: at most 48.5 MB)'
      % ('first installation fetched (packs, blobs)', $first_bytes / mb, $first_requests))
print()
# Transfers in flight hold at most the budget (192 MiB: two packs decoded at once, or the
# largest blob with its file when that is more).
bound = 200
print('%-48s %9.1f MiB' % ('peak memory of setup.exe (VmHWM)', $install_peak / 1024))
print('%-48s %9.1f MiB' % ('peak of a run with nothing to fetch', $idle_peak / 1024))
print('%-48s %9.1f MiB' % ('difference: what the install itself held', ($install_peak - $idle_peak) / 1024))
print('%-48s %9.1f MiB' % ('goal: the difference at most', bound))
print()
csize = sum(f['csize'] for f in changed)
print('update of %d changed files: %.2f s (a run with nothing to fetch: %.2f s)' % (len(changed), $update_s, $idle_s))
print('%-48s %9d' % ('bytes fetched', $fetched))
print('%-48s %9d   (goal: equal)' % ('sum of their csize', csize))
print('%-48s %s' % ('its log line', r"""$update_log"""))
print('%-48s %9.3f   (%d files)' % ('swap: last staged file to record written', $update_swap_s, len(changed)))
EOF
  exit 0
fi

# --- the release, made once --------------------------------------------------------------
if [ ! -f "$cache/stamp" ]; then
  rm -rf "$cache"
  mkdir -p "$cache/source"
  python3 - "$cache/source" <<'EOF'
import os, random, shutil, sys
out = sys.argv[1]
MB = 1000 * 1000

def put(src, rel):
    dest = os.path.join(out, rel)
    os.makedirs(os.path.dirname(dest), exist_ok=True)
    shutil.copyfile(src, dest)

# 60% PE code: the Wine DLLs between 10 and 16 MB, then the smallest ones up to 120 MB.
wine = '/usr/lib/x86_64-linux-gnu/wine'
pe = sorted((os.path.getsize(os.path.join(d, f)), os.path.relpath(os.path.join(d, f), wine))
            for d, _, fs in os.walk(wine + '/x86_64-windows') for f in fs)
chosen = [p for p in pe if 10 * MB < p[0] < 16 * MB]
total = sum(s for s, _ in chosen)
for size, rel in pe:
    if size < 10 * MB and total + size <= 120 * MB:
        chosen.append((size, rel))
        total += size
for _, rel in chosen:
    put(os.path.join(wine, rel), 'pe/' + rel)

# 25% text: headers and documentation of at least 24 KB, by path, up to 50 MB.
text, total = [], 0
for top in ('/usr/include', '/usr/share/doc'):
    for d, _, fs in os.walk(top):
        for f in fs:
            p = os.path.join(d, f)
            if not os.path.islink(p) and os.path.isfile(p) and not p.endswith('.gz'):
                text.append(p)
seen = set()
for p in sorted(text):
    size = os.path.getsize(p)
    rel = 'text' + p
    if size < 24000 or total + size > 50 * MB or '..' in rel or ':' in rel or rel.lower() in seen:
        continue
    seen.add(rel.lower())
    put(p, rel)
    total += size

# 15% incompressible: one file of 11 MB and small ones, from a fixed seed, up to 30 MB.
rng = random.Random(20261208)
os.makedirs(os.path.join(out, 'noise'), exist_ok=True)
with open(os.path.join(out, 'noise', 'big.bin'), 'wb') as f:
    f.write(rng.randbytes(11 * MB))
total, n = 11 * MB, 0
while total < 30 * MB:
    size = rng.randrange(1000, 96000)
    with open(os.path.join(out, 'noise', 'n%04d.bin' % n), 'wb') as f:
        f.write(rng.randbytes(size))
    total, n = total + size, n + 1
EOF
  echo "bench: packing the install benchmark's release (once; kept in $cache)"
  "$tool" pack --key "$bench/keys/private.pem" --version bench-1 "$cache/source" "$cache/release" \
    >/dev/null 2>&1
  touch "$cache/stamp"
fi
# The two manifests, so the second stage can compare them after it changed the release.
"$tool" pack --key "$bench/keys/private.pem" --version bench-1 "$cache/source" "$cache/release" \
  >/dev/null 2>&1
cp "$cache/release/plannix/app/manifest.json" "$cache/manifest-1.json"

"$root/tools/wine/template.sh" >/dev/null
xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" \
  "$root/tools/testserver/with_server.sh" --certs "$bench/testserver-certs" \
  --root "$cache/release" --port "$port" --lifetime 3600 -- "$0" "$bench" "$cross" --with-server
