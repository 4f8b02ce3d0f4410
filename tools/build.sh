#!/usr/bin/env bash
# One entry for developers and CI.
#   tools/build.sh build   configure and build everything (native, tools, cross)
#   tools/build.sh test    build, then run every test: native, fuzzing, under Wine, scenarios
#   tools/build.sh demo    build, publish a demo release, serve it and install it with setup.exe
#   tools/build.sh bench   optimised native build, then the benchmarks; then the window's frames
#   tools/build.sh gallery build, then render every page of the window into PNG files
# Each first installs what is missing (tools/deps.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${PLANNIX_BUILD_DIR:-$root/build}
jobs=$(nproc)
cd "$root"

# Each configuration runs every time, on a new build folder or an existing one, so that a
# changed option takes effect (cmake is quick when nothing changed).

configure_native() {
  # clang, so that the fuzz targets share the build; ASan and UBSan on for the tests.
  cmake -S . -B "$out/native" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DPLANNIX_SANITIZE=ON -DPLANNIX_FUZZ=ON
}

configure_bench() {
  cmake -S . -B "$out/bench" -G Ninja \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ \
    -DPLANNIX_TESTS=OFF -DPLANNIX_BENCH=ON
}

# A key pair made once in KEYDIR by the given plannix-release; a cross build trusts its public
# half.
#   make_key TOOL KEYDIR
make_key() {
  if [ ! -f "$2/public.txt" ]; then
    mkdir -p "$2"
    "$1" keygen "$2" >/dev/null
  fi
}

# The cross configuration for localhost on the test port, trusting KEYDIR's key.
#   configure_cross DIR KEYDIR TOOL [cmake options ...]
configure_cross() {
  local dir=$1 keys=$2 tool=$3
  shift 3
  cmake -S . -B "$dir" -G Ninja \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw.cmake" \
    -DPLANNIX_PUBLIC_KEY="$keys/public.txt" -DPLANNIX_HOST=localhost \
    -DPLANNIX_RELEASE_TOOL="$tool" -DPLANNIX_PORT="${PLANNIX_TEST_PORT:-8443}" "$@"
}

build_all() {
  "$root/tools/deps.sh"
  configure_native
  cmake --build "$out/native" -j "$jobs"
  local tool="$out/native/tools/release/plannix-release"
  make_key "$tool" "$out/keys"
  # The test build's setup.exe is Authenticode-signed with a test certificate, so that every
  # test under Wine runs the image as it is published.
  "$root/tools/testserver/make_certs.sh" --signing "$out/keys/signing"
  configure_cross "$out/cross" "$out/keys" "$tool" \
    -DPLANNIX_SIGN_PKCS12="$out/keys/signing/signing.p12" \
    -DPLANNIX_SIGN_PASSWORD_FILE="$out/keys/signing/signing.pass"
  cmake --build "$out/cross" -j "$jobs"
}

case "${1:-build}" in
  build)
    build_all
    ;;
  test)
    start=$(date +%s)
    build_all
    status=0
    ctest --test-dir "$out/native" -j "$jobs" --output-on-failure || status=1
    # Two at once: most of a Wine test is waiting on a prefix, a server or a slow transfer.
    # Tests that share the HTTPS port hold a lock, and those driving the pointer run alone.
    "$root/tools/wine/run-suite.sh" ctest --test-dir "$out/cross" -j 2 --output-on-failure ||
      status=1
    echo "test run took $(( $(date +%s) - start )) s"
    exit $status
    ;;
  demo)
    build_all
    exec "$root/tools/demo.sh" "$out"
    ;;
  bench)
    "$root/tools/deps.sh"
    configure_bench
    cmake --build "$out/bench" -j "$jobs"
    # setup.exe for the install benchmark: trusts a key of the bench build's own.
    make_key "$out/bench/tools/release/plannix-release" "$out/bench/keys"
    configure_cross "$out/bench-cross" "$out/bench/keys" "$out/bench/tools/release/plannix-release"
    cmake --build "$out/bench-cross" -j "$jobs" --target setup add_root_ca
    "$root/tools/bench.sh" "$out/bench" "$out/bench-cross"
    echo
    build_all
    echo
    exec "$root/tools/gallery.sh" "$out" --bench
    ;;
  gallery)
    build_all
    exec "$root/tools/gallery.sh" "$out"
    ;;
  *)
    sed -n '2,9p' "$0" >&2
    exit 2
    ;;
esac
