#!/usr/bin/env bash
# Binary patches: patch sizes beside the whole blob, bsdiff and zstd -19 --patch-from, and
# apply speed beside our LZMS decoder, on
#   - setup.exe built from two commits far apart, and from two neighbouring commits (built here
#     with the cross toolchain in a detached worktree, kept in BUILD_DIR/bench-cache/patch-pairs);
#   - a text file with one paragraph changed (this repository's README);
# then the bytes an update fetches with and without patches when the largest executables of
# the install benchmark's release change (from plannix-release diff).
#
#   tools/bench/patch.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:?usage: tools/bench/patch.sh BUILD_DIR}" && pwd)
tool=$build/tools/release/plannix-release
pairs=$build/bench-cache/patch-pairs
mkdir -p "$pairs"

# Commits of this repository: the engine's first merge, and the last two commits before patches.
far_old=2b33056
near_old=41aa0e4
near_new=3b2dc7b

# setup.exe of COMMIT, built once into $pairs/setup-COMMIT.exe.
setup_of() {
  local commit=$1 out=$pairs/setup-$1.exe
  [ -f "$out" ] && return 0
  [ -d "$pairs/src" ] || git -C "$root" worktree add --detach "$pairs/src" "$commit" >/dev/null 2>&1
  git -C "$pairs/src" checkout -q --detach "$commit"
  [ -f "$pairs/cross/build.ninja" ] || cmake -S "$pairs/src" -B "$pairs/cross" -G Ninja \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$pairs/src/cmake/toolchain-mingw.cmake" \
    -DPLANNIX_PUBLIC_KEY="$build/keys/public.txt" -DPLANNIX_HOST=localhost \
    -DPLANNIX_RELEASE_TOOL="$tool" -DPLANNIX_PORT=8443 >/dev/null
  nice -n 10 cmake --build "$pairs/cross" --target setup >/dev/null
  cp "$pairs/cross/setup.exe" "$out"
}

[ -f "$build/keys/public.txt" ] || "$tool" keygen "$build/keys" >/dev/null
for c in $far_old $near_old $near_new; do setup_of $c; done
cp "$root/README.md" "$pairs/readme-old.md"
python3 - "$pairs/readme-old.md" "$pairs/readme-new.md" <<'PY'
import sys
text = open(sys.argv[1]).read().split('\n\n')
middle = len(text) // 2
text[middle] = ('This paragraph was rewritten for the patch benchmark: a few sentences of new text '
                'in place of the old ones, as an edit of the documentation would do.')
open(sys.argv[2], 'w').write('\n\n'.join(text))
PY

"$build/tests/bench/patch_bench" --runs 5 \
  "setup.exe far apart" "$pairs/setup-$far_old.exe" "$pairs/setup-$near_new.exe" \
  "setup.exe neighbours" "$pairs/setup-$near_old.exe" "$pairs/setup-$near_new.exe" \
  "README paragraph" "$pairs/readme-old.md" "$pairs/readme-new.md"

# An update of a bench-like release (Wine's largest PE files, text, incompressible bytes) in which
# the largest executables changed: setup.exe becomes the far-apart build, and the five largest
# DLLs are "rebuilt" by a stand-in for a compiler's change (2 KiB of code inserted at 40%, and
# every absolute address after it moved by 4 KiB). Bytes to fetch, from plannix-release diff.
rel=$pairs/release
if [ ! -f "$rel/r2/plannix/app/manifest.json" ]; then
  rm -rf "$rel"
  PYTHONPATH="$root/tools/bench" python3 - "$rel" "$pairs/setup-$far_old.exe" "$pairs/setup-$near_new.exe" <<'PY'
import os, random, shutil, sys
from bench_pe import write_two_versions
rel, setup_old, setup_new = sys.argv[1:]
for src, setup in zip(write_two_versions(rel, 80, 5), (setup_old, setup_new)):
    shutil.copy(setup, os.path.join(src, 'setup.exe'))
    os.makedirs(os.path.join(src, 'handmodels'))
    # The same in both versions: a file that did not change.
    data = random.Random(15).randbytes(8 << 20)
    open(os.path.join(src, 'handmodels', 'hands.onnx'), 'wb').write(data)
PY
  [ -f "$build/keys/private.pem" ] || "$tool" keygen "$build/keys" >/dev/null
  "$tool" pack --key "$build/keys/private.pem" --version 1 "$rel/src1" "$rel/r1" >/dev/null
  "$tool" pack --key "$build/keys/private.pem" --version 2 --previous "$rel/r1" "$rel/src2" \
    "$rel/r2" | grep '^patches:'
fi
echo
echo "Update of a bench-like release whose largest executables changed (bytes to fetch):"
"$tool" diff "$rel/r1" "$rel/r2"
