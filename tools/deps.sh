#!/usr/bin/env bash
# Installs the Debian packages that building and testing Setup need, when any is missing.
set -euo pipefail
packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
  googletest libgtest-dev nlohmann-json3-dev libwim-dev wimtools libssl-dev openssl xz-utils
  g++-mingw-w64-x86-64-posix wine wine64 xvfb xauth xdotool imagemagick python3
  curl bc nginx-light osslsigncode libdivsufsort-dev bsdiff zstd
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
