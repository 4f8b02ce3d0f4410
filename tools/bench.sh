#!/usr/bin/env bash
# Runs the benchmarks of an optimised build (PLANNIX_BENCH=ON):  tools/bench.sh BUILD_DIR
# Blobs made for them are kept in BUILD_DIR/bench-cache between runs.
set -euo pipefail
build=${1:?usage: tools/bench.sh BUILD_DIR}
echo "LZMS decoding, ours against wimlib's (best of 5 runs each):"
"$build/tests/bench/lzms_bench" --cache "$build/bench-cache" --runs 5
echo
echo "Packing a release with plannix-release, beside xz -9 on the same bytes:"
"$(dirname "$0")/bench-pack.sh" "$build"
