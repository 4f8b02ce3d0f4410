#!/usr/bin/env bash
# Prepares a throw-away Wine prefix for the removal tests (run with WINEPREFIX set).
# Wine links the profile's Desktop, Documents, Downloads, ... to the Linux home: they become
# real folders here, so that no removal test can ever reach the home. Then two Unix symbolic
# links, which Windows programs see as links (FILE_ATTRIBUTE_REPARSE_POINT): one inside an
# install folder leading outside it, one leading to the profile.
set -euo pipefail
drive="$WINEPREFIX/drive_c"
find "$drive/users" -type l -print0 | while IFS= read -r -d '' link; do
  rm "$link"
  mkdir -p "$link"
done
mkdir -p "$drive/LinkTarget/sub" "$drive/Apps/Linked"
echo keep > "$drive/LinkTarget/sub/keep.txt"
ln -s "$drive/LinkTarget" "$drive/Apps/Linked/link"
for profile in "$drive"/users/*; do
  [ "$(basename "$profile")" = Public ] || ln -s "$profile" "$drive/ProfileLink"
done
