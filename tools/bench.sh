#!/usr/bin/env bash
# Runs the benchmarks of an optimised build (PLANNIX_BENCH=ON):
#   tools/bench.sh BUILD_DIR [CROSS_BUILD_DIR]
# With a cross build whose setup.exe trusts BUILD_DIR/keys, also the install and update
# benchmark under Wine. Blobs and releases made for them are kept in BUILD_DIR/bench-cache.
set -euo pipefail
build=${1:?usage: tools/bench.sh BUILD_DIR [CROSS_BUILD_DIR]}
echo "LZMS decoding, ours against wimlib's (best of 5 runs each):"
"$build/tests/bench/lzms_bench" --cache "$build/bench-cache" --runs 5
echo
echo "Packing a release with plannix-release, beside xz -9 on the same bytes:"
"$(dirname "$0")/bench/pack.sh" "$build"
echo
echo "Binary patches beside the whole blob, bsdiff and zstd -19 --patch-from; apply speed:"
"$(dirname "$0")/bench/patch.sh" "$build"
if [ -n "${2:-}" ]; then
  echo
  echo "Install and update with setup.exe under Wine, beside a native baseline of the same work:"
  "$(dirname "$0")/bench/install.sh" "$build" "$2"
  echo
  echo "The same release from nginx through a delay proxy: the round trips an install waits:"
  "$(dirname "$0")/bench/network.sh" "$build" "$2"
fi
