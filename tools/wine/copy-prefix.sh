#!/usr/bin/env bash
# Copies the template prefix to DEST: the 700 MB of system files under drive_c/windows are
# hard-linked (Wine never rewrites them in place), the rest is copied, in well under a second.
set -euo pipefail
template=$1 dest=$2
mkdir -p "$dest"
for entry in "$template"/* "$template"/.update-timestamp; do
  name=$(basename "$entry")
  [ "$name" = drive_c ] && continue
  cp -a "$entry" "$dest/"
done
mkdir -p "$dest/drive_c"
for entry in "$template"/drive_c/*; do
  name=$(basename "$entry")
  if [ "$name" = windows ]; then cp -al "$entry" "$dest/drive_c/"; else cp -a "$entry" "$dest/drive_c/"; fi
done
# A new prefix links the user's shell folders (Desktop, Documents, ...) to the host's home:
# make them folders of this copy, so that no program under test writes a shortcut or a file
# there.
for link in "$dest"/drive_c/users/*/*; do
  if [ -L "$link" ]; then rm "$link" && mkdir "$link"; fi
done
