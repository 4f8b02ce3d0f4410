#!/usr/bin/env bash
# Packing speed and compression of plannix-release against xz -9 on the same bytes.
#
#   tools/bench/pack.sh BUILD_DIR [TOTAL_MB]
#
# BUILD_DIR holds tools/release/plannix-release (an optimised build). The input, TOTAL_MB
# (default 200) of mixed files, is 70% Wine's PE DLLs and 30% C headers and package docs,
# picked in a fixed order so runs compare. Everything happens in a temporary folder.
# PLANNIX_RELEASE_THREADS=N sets pack's thread count (default: CPUs, at most 4).
# BENCH_XZ_PER_FILE=1 adds xz -9 of each file alone: the same per-file split as the blobs, so it
# separates the codec from the gain of compressing everything as one stream.
set -euo pipefail
build=${1:?usage: tools/bench/pack.sh BUILD_DIR [TOTAL_MB]}
total_mb=${2:-200}
tool=$(realpath "$build")/tools/release/plannix-release
[ -x "$tool" ] || { echo "no plannix-release in $build" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
src=$work/src
mkdir -p "$src"

# Copies regular files from ROOT (sorted by path) into src/NAME until LIMIT bytes. Names that
# the release rules refuse ("..", ":") or that collide with another in letter case are skipped.
pick() {
    local root=$1 name=$2 limit=$3
    [ -d "$root" ] || return 0
    (cd "$root" && find . -type f -printf '%s %P\n' | LC_ALL=C sort -k2) |
        awk -v limit="$limit" '{
            size = $1; path = substr($0, length($1) + 2)
            if (path ~ /\.\./ || path ~ /:/ || path ~ /\\/) next
            key = tolower(path); if (key in seen) next; seen[key] = 1
            if (sum + size > limit) next
            sum += size; print path
        }' >"$work/$name.list"
    mkdir -p "$src/$name"
    tar -C "$root" --verbatim-files-from -cf - -T "$work/$name.list" | tar -C "$src/$name" -xf -
}

mb=$((1000 * 1000))
pick /usr/lib/x86_64-linux-gnu/wine/x86_64-windows wine $((total_mb * mb * 70 / 100))
pick /usr/include include $((total_mb * mb * 20 / 100))
pick /usr/share/doc doc $((total_mb * mb * 10 / 100))

input=$(find "$src" -type f -printf '%s\n' | awk '{s += $1} END {print s + 0}')
files=$(find "$src" -type f | wc -l)
"$tool" keygen "$work/keys" >/dev/null

now() { date +%s.%N; }
t0=$(now)
"$tool" pack --key "$work/keys/private.pem" --version bench --exe "wine/$(head -n1 "$work/wine.list")" "$src" \
    "$work/release" >/dev/null
t1=$(now)
"$tool" verify --public-key "$work/keys/public.txt" "$work/release" >/dev/null
t2=$(now)
packed=$(find "$work/release/plannix/app/blobs" -type f -printf '%s\n' | awk '{s += $1} END {print s + 0}')

tar -C "$src" -cf "$work/src.tar" .
t3=$(now)
xz -9 -T1 -c "$work/src.tar" >"$work/src.tar.xz"
t4=$(now)
xzsize=$(stat -c %s "$work/src.tar.xz")
xzfiles=0 t5=0 t6=0
if [ "${BENCH_XZ_PER_FILE:-0}" = 1 ]; then
    t5=$(now)
    xzfiles=$(cd "$src" && find . -type f -print0 | xargs -0 -n1 sh -c 'xz -9 -T1 -c "$0" | wc -c' |
        awk '{s += $1} END {print s + 0}')
    t6=$(now)
fi

awk -v input="$input" -v files="$files" -v packed="$packed" -v xz="$xzsize" \
    -v pack="$(echo "$t1 - $t0" | bc)" -v verify="$(echo "$t2 - $t1" | bc)" \
    -v xzt="$(echo "$t4 - $t3" | bc)" -v threads="$(nproc)" -v xzfiles="$xzfiles" \
    -v xzft="$(echo "$t6 - $t5" | bc)" 'BEGIN {
    printf "input: %.1f MB in %d files (%d CPUs)\n", input / 1e6, files, threads
    printf "%-26s %9s %9s %11s %7s\n", "", "seconds", "MB/s", "output MB", "ratio"
    printf "%-26s %9.2f %9.2f %11.2f %7.3f\n", "plannix-release pack", pack, input / 1e6 / pack, packed / 1e6, packed / input
    printf "%-26s %9.2f %9.2f %11s %7s\n", "plannix-release verify", verify, input / 1e6 / verify, "-", "-"
    printf "%-26s %9.2f %9.2f %11.2f %7.3f\n", "xz -9 -T1 (one tar)", xzt, input / 1e6 / xzt, xz / 1e6, xz / input
    if (xzfiles > 0)
        printf "%-26s %9.2f %9.2f %11.2f %7.3f\n", "xz -9 -T1 (each file)", xzft, input / 1e6 / xzft, xzfiles / 1e6, xzfiles / input
}'
