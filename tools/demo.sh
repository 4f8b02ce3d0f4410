#!/usr/bin/env bash
# Setup's main job on this machine: publish a signed demo release, serve it over HTTPS on
# localhost, and run setup.exe against it in a Wine prefix kept at BUILD/demo/prefix.
# On a desktop the window opens on your display; headless, under Xvfb, a screenshot is saved.
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

# Second stage, run by the test server's wrapper while the server listens.
if [ "${2:-}" = "--with-server" ]; then
  wine "$out/cross/tests/windows/add_root_ca.exe" "$(winepath -w "$PLANNIX_TESTSERVER_CA")" \
    || { echo "demo: could not trust the test CA in the prefix" >&2; exit 1; }
  if on_desktop; then
    echo "demo: Setup's window is open on $DISPLAY; close it to end the demo."
    wine "$out/cross/setup.exe"
  else
    wine "$out/cross/setup.exe" &
    setup=$!
    info=$(wine "$out/cross/tests/windows/find_window.exe" --wait 20000)
    echo "$info"
    sleep 1
    # Only the window: its rectangle as find_window reports it.
    crop=$(python3 -c 'import json,sys; l,t,r,b=json.loads(sys.argv[1])["window"]; print("%dx%d+%d+%d"%(r-l,b-t,l,t))' "$info")
    import -window root -crop "$crop" +repage "$demo/setup-window.png"
    echo "demo: screenshot of Setup's window: $demo/setup-window.png"
    wine "$out/cross/tests/windows/find_window.exe" --close >/dev/null
    wait "$setup"
  fi
  wineserver -k
  exit 0
fi

rm -rf "$demo/source" "$demo/release"
mkdir -p "$demo/source/licenses" "$demo/source/handmodels"
# A small release of the shape of the real one: the core, and a file of each component.
cp "$out/cross/tools/demo/plannix-demo.exe" "$demo/source/plannix.exe"
printf 'Планикс — демонстрационная сборка.\r\n' > "$demo/source/readme.txt"
head -c 300000 /dev/urandom > "$demo/source/nvngx_dlss.dll"
head -c 200000 /dev/urandom > "$demo/source/amd_fidelityfx_dx12.dll"
printf 'AMD FidelityFX licence (demo)\n' > "$demo/source/licenses/amd-fsr.txt"
head -c 100000 /dev/urandom > "$demo/source/libxess.dll"
printf 'left hand model (demo)\n' > "$demo/source/handmodels/left.onnx"

"$release_tool" pack --key "$out/keys/private.pem" --version "1.0.0-demo" \
  --date "$(date +%Y-%m-%d)" "$demo/source" "$demo/release"
"$release_tool" verify --public-key "$out/keys/public.txt" "$demo/release"

template=$("$root/tools/wine/template.sh")
[ -d "$WINEPREFIX" ] || "$root/tools/wine/copy-prefix.sh" "$template" "$WINEPREFIX"

serve=("$root/tools/testserver/with_server.sh" --certs "$out/testserver-certs"
       --root "$demo/release" --port "$port" --lifetime 3600 -- "$0" "$out" --with-server)
if on_desktop; then
  "${serve[@]}"
else
  export PLANNIX_DEMO_HEADLESS=1 # the second stage then sees Xvfb's display, not a desktop
  xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" "${serve[@]}"
fi
