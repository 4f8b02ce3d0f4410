#!/usr/bin/env bash
# Prints the path of the prepared Wine prefix template, making it first when missing.
# Made once per Wine version and cached; tests copy it (cp -a) into throw-away prefixes.
set -euo pipefail
version=$(wine --version 2>/dev/null | tr -c 'A-Za-z0-9.\n' '_')
cache=${PLANNIX_WINE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/plannix}
# The suffix names the layout below: a change to it makes a new template.
template="$cache/wine-template-$version-profile2"
if [ -f "$template/.ready" ]; then
  echo "$template"
  exit 0
fi
mkdir -p "$cache"
exec 9>"$cache/.template.lock"
flock 9
if [ ! -f "$template/.ready" ]; then
  work=$(mktemp -d "$cache/.making.XXXXXX")
  (
    export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d"
    unset DISPLAY
    wineboot -i >/dev/null 2>&1
    # No crash dialog (it would hang a headless test); unmanaged windows (no window manager).
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    wineserver -w
    # Wine links the profile's Desktop, Documents, Downloads, ... to the Linux home; tests write
    # shortcuts there and delete folders, so each becomes a real folder of the prefix.
    find "$WINEPREFIX/drive_c/users" -type l -print0 | while IFS= read -r -d '' link; do
      rm "$link" && mkdir -p "$link"
    done
  ) >&2
  rm -rf "$template"
  mv "$work/prefix" "$template"
  rmdir "$work"
  touch "$template/.ready"
fi
echo "$template"
