#!/usr/bin/env bash
# Compares two renderings of the page gallery (tools/build.sh gallery) pixel by pixel:
#   tools/gallery-diff.sh REFERENCE_DIR NEW_DIR [PAGE...]
# Prints the count of differing pixels of every picture that differs. The named PAGEs (names
# without "@scale.png") may differ; any other difference, or a picture missing on either side,
# fails. Keep a reference rendering outside the build folder before changing drawing code.
set -euo pipefail
ref=${1:?usage: tools/gallery-diff.sh REFERENCE_DIR NEW_DIR [PAGE...]}
new=${2:?usage: tools/gallery-diff.sh REFERENCE_DIR NEW_DIR [PAGE...]}
shift 2
allowed=" $* "
status=0 same=0
for picture in "$ref"/*.png; do
  name=$(basename "$picture")
  page=${name%@*}
  if [ ! -f "$new/$name" ]; then
    echo "missing in $new: $name"
    status=1
    continue
  fi
  # compare prints the count on stderr and exits 1 when the pictures differ, 2 on trouble.
  count=$(compare -metric AE "$picture" "$new/$name" null: 2>&1 >/dev/null) || true
  if [ "$count" = 0 ]; then
    same=$((same + 1))
  elif [[ "$allowed" == *" $page "* ]]; then
    echo "differs as expected: $name: $count pixels"
  else
    echo "DIFFERS: $name: $count pixels"
    status=1
  fi
done
for picture in "$new"/*.png; do
  [ -f "$ref/$(basename "$picture")" ] || { echo "new, not in the reference: $(basename "$picture")"; status=1; }
done
echo "$same pictures identical"
exit $status
