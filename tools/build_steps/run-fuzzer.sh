#!/usr/bin/env bash
# Runs one libFuzzer target for a bounded time over its seed corpus (read only: new inputs
# go to a scratch folder). Any crash, leak, timeout or sanitizer report fails the run.
set -euo pipefail
fuzzer=$1 corpus=$2 seconds=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/new" "$scratch/artifacts"
seeds=()
[ -d "$corpus" ] && seeds+=("$corpus")
"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
  -artifact_prefix="$scratch/artifacts/" -print_final_stats=1 "$scratch/new" "${seeds[@]}" 2>&1 | tail -n 30
status=${PIPESTATUS[0]}
if [ "$status" -ne 0 ]; then
  echo "fuzzer failed with status $status; artifacts:" >&2
  for f in "$scratch"/artifacts/*; do [ -f "$f" ] && { echo "$f"; xxd "$f" | head -20; } >&2; done
  exit 1
fi
