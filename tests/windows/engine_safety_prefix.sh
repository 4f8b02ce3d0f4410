#!/usr/bin/env bash
# Prepares a throw-away Wine prefix for the engine's safety tests (run with WINEPREFIX set):
# install folders holding a Unix symbolic link, which Windows programs see as a link
# (FILE_ATTRIBUTE_REPARSE_POINT), each leading to a folder of "the user's" that must survive.
set -euo pipefail
safety="$WINEPREFIX/drive_c/safety"
for name in cache fonts; do
  mkdir -p "$safety/user-$name" "$safety/$name-link/Plannix"
  echo keep > "$safety/user-$name/keep.txt"
done
ln -s "$safety/user-cache" "$safety/cache-link/Plannix/update-cache"
ln -s "$safety/user-fonts" "$safety/fonts-link/Plannix/fonts"
