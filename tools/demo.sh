#!/usr/bin/env bash
# Setup's main job on this machine, in a fresh Wine prefix kept at BUILD/demo/prefix:
#   1. publish a signed demo release (the stand-in plannix.exe, setup.exe, a file of each
#      component) and serve it over HTTPS on localhost;
#   2. install it with setup.exe (unattended, "/auto", when headless) and show what was
#      installed: the folder, the uninstall entry, the log line;
#   3. publish version 2 with two changed files, let the installed stand-in application ask for
#      the update ("/update /pid"), and show the restart and the bytes the update fetched.
# On a desktop Setup's windows open on your display; headless, everything runs under Xvfb.
#   tools/demo.sh BUILD_DIR      (tools/build.sh demo builds first and calls this)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(cd "$1" && pwd)
demo="$out/demo"
release_tool="$out/native/tools/release/plannix-release"
port=${PLANNIX_TEST_PORT:-8443}
export WINEPREFIX="$demo/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d"
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy
on_desktop() { [ -n "${DISPLAY:-}" ] && [ "${PLANNIX_DEMO_HEADLESS:-0}" != 1 ]; }
key="HKCU\\$(python3 "$root/tools/names.py" kUninstallKey)"

publish() { # VERSION: packs demo/source into demo/release, served as it stands
  # A later version carries patches from the one it replaces.
  local previous=()
  [ -f "$demo/release/plannix/app/manifest.json" ] && previous=(--previous "$demo/release")
  "$release_tool" pack --key "$out/keys/private.pem" --version "$1" --date "$(date +%Y-%m-%d)" \
    "${previous[@]}" "$demo/source" "$demo/release" >/dev/null
  "$release_tool" verify --public-key "$out/keys/public.txt" "$demo/release"
}

# A value of the uninstall entry, as text.
reg_value() {
  wine reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' |
    awk -v name="$1" '$1 == name { sub(/^ *[^ ]+ +[^ ]+ +/, ""); print; exit }'
}

# Waits up to $2 seconds until the last marker line of the stand-in application starts with $1.
wait_for_marker() {
  local marker=$1 version=$2 limit=$3
  for _ in $(seq $((limit * 5))); do
    [ -f "$marker" ] && tail -n1 "$marker" | grep -q "^$version"$'\t' && return 0
    sleep 0.2
  done
  return 1
}

# Blobs or patches ($2: "blobs" or "patches") fetched since line $1 of the request log, as
# "count bytes".
fetched_since() {
  tail -n +"$(($1 + 1))" "$PLANNIX_TESTSERVER_LOG" | awk '$1 == "GET" && $3 == 200 { print $2 }' |
    grep "/plannix/app/$2/" | while read -r path; do
      stat -c %s "$demo/release/${path#/}"
    done | awk '{ n++; s += $1 } END { printf "%d %d\n", n, s }'
}

# Second stage, run by the test server's wrapper while the server listens.
if [ "${2:-}" = "--with-server" ]; then
  wineserver -p
  trap 'wineserver -k; wineserver -w' EXIT
  wine "$out/cross/tests/windows/add_root_ca.exe" "$(winepath -w "$PLANNIX_TESTSERVER_CA")" \
    || { echo "demo: could not trust the test CA in the prefix" >&2; exit 1; }

  echo "== Installing version 1.0.0-demo"
  if on_desktop; then
    echo "demo: Setup's window is open on $DISPLAY: press the install button; it closes itself."
    PLANNIX_DEMO_NO_WINDOW=1 timeout 900 wine "$out/cross/setup.exe" || true
  else
    PLANNIX_DEMO_NO_WINDOW=1 timeout 300 wine "$out/cross/setup.exe" /auto || true
  fi
  dir=$(reg_value InstallLocation || true)
  [ -n "$dir" ] || { echo "demo: nothing was installed (no uninstall entry); the log says:" >&2;
                     tail -n3 "$(winepath -u "$(wine cmd /c echo %TEMP% | tr -d '\r')")/plannix-setup.log" >&2 || true
                     exit 1; }
  unixdir=$(winepath -u "$dir")
  logfile="$(winepath -u "$(wine cmd /c echo %TEMP% | tr -d '\r')")/plannix-setup.log"
  echo "-- the install folder $dir:"
  (cd "$unixdir" && find . -type f -printf '%10s  %P\n' | LC_ALL=C sort -k2)
  echo "-- the uninstall entry:"
  # Exported to a file: the console would show the Cyrillic values as question marks.
  rm -f "$demo/uninstall-entry.reg"
  wine reg export "$key" "$(winepath -w "$demo/uninstall-entry.reg")" >/dev/null 2>&1
  iconv -f UTF-16 -t UTF-8 "$demo/uninstall-entry.reg" | tr -d '\r' | sed -n 's/^"/   "/p'
  echo "-- the setup log's last line:"
  tail -n1 "$logfile"

  echo
  echo "== Publishing version 1.1.0-demo: two changed files and a rebuilt library"
  printf '1.1.0-demo\r\n' > "$demo/source/version.txt"
  printf 'Планикс — демонстрационная сборка, вторая версия.\r\n' > "$demo/source/readme.txt"
  # A few bytes of the library change, as in a rebuild: the release carries a patch from 1.0.
  printf 'rebuilt' | dd of="$demo/source/nvngx_dlss.dll" bs=1 seek=150000 conv=notrunc 2>/dev/null
  publish 1.1.0-demo
  mark=$(wc -l < "$PLANNIX_TESTSERVER_LOG")
  echo "== The application asks for the update: plannix.exe --request-update"
  if on_desktop; then
    echo "demo: Setup's window shows the update; the new version's message box follows."
  else
    export PLANNIX_DEMO_NO_WINDOW=1
  fi
  # It lingers 3 s after starting Setup, as an application that closes slowly: Setup waits.
  timeout 60 wine "$unixdir/plannix.exe" --request-update --linger 3000
  if ! wait_for_marker "$unixdir/plannix-started.txt" 1.1.0-demo 300; then
    echo "demo: the application was not restarted in version 1.1.0-demo; the log says:" >&2
    tail -n3 "$logfile" >&2
    exit 1
  fi
  for _ in $(seq 100); do # Setup's window closes itself once the application is back
    wine "$out/cross/tests/windows/find_window.exe" --wait 0 >/dev/null 2>&1 || break
    sleep 0.2
  done
  echo "-- restarted: $(tail -n1 "$unixdir/plannix-started.txt" | tr '\t' ' ')"
  echo "-- the setup log's last line:"
  tail -n1 "$logfile"
  read -r count bytes <<<"$(fetched_since "$mark" blobs)"
  read -r patches patchBytes <<<"$(fetched_since "$mark" patches)"
  read -r changed library <<<"$(python3 -c '
import json, sys
m = {f["path"]: f for f in json.load(open(sys.argv[1]))["files"]}
print(m["version.txt"]["csize"] + m["readme.txt"]["csize"], m["nvngx_dlss.dll"]["csize"])' \
    "$demo/release/plannix/app/manifest.json")"
  echo "-- the update fetched $count blobs, $bytes bytes (the two changed files' blobs: $changed bytes)"
  echo "   and $patches patch, $patchBytes bytes, for the rebuilt library (its whole blob: $library bytes)"
  exit 0
fi

rm -rf "$demo/source" "$demo/release" "$demo/prefix"
mkdir -p "$demo/source/licenses" "$demo/source/handmodels"
# A small release of the shape of the real one: the application, Setup itself, the core, and
# a file of each component.
cp "$out/cross/tools/demo/plannix-demo.exe" "$demo/source/plannix.exe"
cp "$out/cross/setup.exe" "$demo/source/setup.exe"
printf '1.0.0-demo\r\n' > "$demo/source/version.txt"
printf 'Планикс — демонстрационная сборка.\r\n' > "$demo/source/readme.txt"
head -c 300000 /dev/urandom > "$demo/source/nvngx_dlss.dll"
head -c 200000 /dev/urandom > "$demo/source/amd_fidelityfx_dx12.dll"
printf 'AMD FidelityFX licence (demo)\n' > "$demo/source/licenses/amd-fsr.txt"
head -c 100000 /dev/urandom > "$demo/source/libxess.dll"
printf 'left hand model (demo)\n' > "$demo/source/handmodels/left.onnx"
publish 1.0.0-demo

template=$("$root/tools/wine/template.sh")
"$root/tools/wine/copy-prefix.sh" "$template" "$WINEPREFIX"

serve=("$root/tools/testserver/with_server.sh" --certs "$out/testserver-certs"
       --root "$demo/release" --port "$port" --lifetime 3600 -- "$0" "$out" --with-server)
if on_desktop; then
  "${serve[@]}"
else
  export PLANNIX_DEMO_HEADLESS=1 # the second stage then sees Xvfb's display, not a desktop
  xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" "${serve[@]}"
fi
