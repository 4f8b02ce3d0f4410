# Sourced by the benchmarks: the repository's root, the test server's port, timing, the
# server's request log, and a throw-away Wine prefix holding a copy of a cross build's setup.exe.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
port=${PLANNIX_TEST_PORT:-8443}
# A proxy variable would send even localhost through the proxy.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy

now() { date +%s.%N; }
since() { echo "$(now) - $1" | bc; }

# The request log's length now, and its lines since such a mark.
log_mark() { wc -l <"$PLANNIX_TESTSERVER_LOG"; }
requests_since() { tail -n +"$(($1 + 1))" "$PLANNIX_TESTSERVER_LOG"; }

# Under the test server: a work folder ($work) with a fresh prefix that trusts the server's CA
# and CROSS_BUILD's setup.exe at $work/setup.exe; $wintemp is the prefix's temporary folder.
# All of it goes when the script exits, after the function before_wine_end if one is defined.
#   start_wine_stage CROSS_BUILD NAME
start_wine_stage() {
  work=$(mktemp -d "${TMPDIR:-/tmp}/$2.XXXXXX")
  export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d"
  trap end_wine_stage EXIT
  "$root/tools/wine/copy-prefix.sh" "$("$root/tools/wine/template.sh")" "$WINEPREFIX"
  wineserver -p
  wine "$1/tests/windows/add_root_ca.exe" "Z:$PLANNIX_TESTSERVER_CA" >/dev/null
  cp "$1/setup.exe" "$work/setup.exe"
  wintemp=$(winepath -u "$(wine cmd /c echo %TEMP% | tr -d '\r')")
}

end_wine_stage() {
  if declare -F before_wine_end >/dev/null; then before_wine_end; fi
  timeout 20 wineserver -k >/dev/null 2>&1 || true
  timeout 20 wineserver -w >/dev/null 2>&1 || true
  rm -rf "$work"
}

# Runs $work/setup.exe unattended into FOLDER (further arguments passed on), without the resume
# cache, as a first run on a fresh machine; sets run_s and peak_kb, the peak VmHWM of Setup's
# process.
#   run_setup_measured FOLDER [ARGUMENTS ...]
run_setup_measured() {
  local t0 pid folder=$1
  shift
  rm -rf "$wintemp/plannix-setup-cache"
  t0=$(now)
  wine "$work/setup.exe" /auto /dir "$folder" "$@" &
  pid=$!
  peak_kb=$("$root/tools/wine/peak-memory.py" "$pid")
  wait "$pid" || true
  run_s=$(since "$t0")
}
