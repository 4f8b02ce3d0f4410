#!/usr/bin/env bash
# Runs a command with a small tmpfs mounted, a disk that fills up at once, and its Unix path in
# PLANNIX_SMALL_DISK; where mounting is not allowed, runs the command without it (the test that
# needs it then says it skipped).
#   with_small_disk.sh COMMAND [ARGS ...]
set -uo pipefail
dir=$(mktemp -d "${TMPDIR:-/tmp}/plannix-small-disk.XXXXXX")
mounted=""
if mount -t tmpfs -o size=2m,mode=0777 tmpfs "$dir" 2>/dev/null; then
  mounted=1
  export PLANNIX_SMALL_DISK=$dir
fi
"$@"
status=$?
[ -n "$mounted" ] && umount "$dir"
rmdir "$dir"
exit $status
