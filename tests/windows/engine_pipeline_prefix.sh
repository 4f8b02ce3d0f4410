#!/usr/bin/env bash
# Prepares a throw-away Wine prefix for the engine's pipeline tests (run with WINEPREFIX and
# PLANNIX_ENGINE_FIXTURE set): a folder holding a Unix symbolic link, named as the resume cache
# names release v2's blob of extras/added.bin, to a file of "the user's". A test moves the
# folder into place as the resume cache (moving a folder moves the link itself; Windows programs
# cannot make one under Wine, and Wine moves a link to a file by moving the file).
set -euo pipefail
links="$WINEPREFIX/drive_c/links"
mkdir -p "$links/cache"
echo "the user's own file" > "$links/victim.txt"
sha=$(python3 -c 'import json, sys
print(next(f["sha256"] for f in json.load(open(sys.argv[1]))["files"] if f["path"] == "extras/added.bin"))' \
  "$PLANNIX_ENGINE_FIXTURE/v2/manifest.json")
ln -s "$links/victim.txt" "$links/cache/$sha.lzms"
