#!/usr/bin/env bash
# The page gallery: every page of Setup's window at scales 1, 1.5 and 2 as PNG files, rendered
# by the real paint_window under Wine; with --bench, the time of a frame per page and scale
# (frame_bench).
#   tools/gallery.sh BUILD_DIR                    (tools/build.sh gallery builds, then calls this)
#   tools/gallery.sh BUILD_DIR --bench [FRAMES]   (tools/build.sh bench; 200 frames by default)
#     then the real setup.exe's CPU time while its window sits idle, and its time from its start
#     to its first painted frame
# To check that a change to the drawing leaves every page as it was, keep a rendering from
# before it and compare: tools/gallery-diff.sh OLD_DIR BUILD_DIR/gallery
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: tools/gallery.sh BUILD_DIR [--bench [FRAMES]]}" && pwd)
program="$build/cross/tests/windows/ui_gallery.exe"
if [ "${2:-}" = "--bench" ]; then
  # Hundreds of frames per page under Wine's software rendering take minutes.
  export PLANNIX_WINE_TIMEOUT=${PLANNIX_WINE_TIMEOUT:-2400}
  "$root/tools/wine/run-suite.sh" "$root/tools/wine/run.sh" \
    "$build/cross/tests/windows/frame_bench.exe" "${3:-200}"
  echo
  "$root/tools/wine/run-suite.sh" "$root/tools/bench/window-idle.sh" "$build/cross"
  echo
  setup="$build/cross/setup.exe"
  exec "$root/tools/wine/run-suite.sh" "$root/tools/wine/run.sh" \
    "$build/cross/tests/windows/first_frame.exe" "Z:${setup//\//\\}" 7
fi
out="$build/gallery"
rm -rf "$out"
mkdir -p "$out"
"$root/tools/wine/run-suite.sh" "$root/tools/wine/run.sh" "$program" "Z:${out//\//\\}"
echo "gallery: $(find "$out" -name '*.png' | wc -l) pictures of the pages in $out"
