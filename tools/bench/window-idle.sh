#!/usr/bin/env bash
# Idle cost of the real window: setup.exe's own CPU time (user + system, read from /proc) over
# 10 s while its first page sits open and untouched, at 96, 144 and 192 DPI under Wine.
#   tools/bench/window-idle.sh CROSS_BUILD_DIR [RUNS]    (inside tools/wine/run-suite.sh)
# Each DPI runs RUNS times (3 by default) in a fresh prefix; the median is printed with the
# machine's load average, which the figures depend on.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cross=$(cd "${1:?usage: tools/bench/window-idle.sh CROSS_BUILD_DIR [RUNS]}" && pwd)
runs=${2:-3}
seconds=10
ticks=$(getconf CLK_TCK)
template=$("$here/wine/template.sh")
find_window="$cross/tests/windows/find_window.exe"

# CPU ticks (user + system) of the Linux process running setup.exe under Wine.
cpu_ticks() {
  awk '{ print $14 + $15 }' "/proc/$1/stat"
}

# The Linux process whose command line names this prefix's setup.exe (no procps needed).
setup_pid() {
  local entry
  for entry in /proc/[0-9]*; do
    if tr '\0' ' ' <"$entry/cmdline" 2>/dev/null | grep -qF 'C:\Downloads\setup.exe' &&
      grep -qsxF "WINEPREFIX=$WINEPREFIX" <(tr '\0' '\n' <"$entry/environ" 2>/dev/null); then
      echo "${entry#/proc/}"
      return
    fi
  done
}

one_run() {
  local dpi=$1 prefix pid before after
  prefix=$(mktemp -d "${TMPDIR:-/tmp}/plannix-idle.XXXXXX")
  "$here/wine/copy-prefix.sh" "$template" "$prefix"
  (
    export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d"
    unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy
    trap 'timeout 20 wineserver -k >/dev/null 2>&1; timeout 20 wineserver -w >/dev/null 2>&1' EXIT
    wineserver -p
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
    mkdir -p "$prefix/drive_c/Downloads"
    cp "$cross/setup.exe" "$prefix/drive_c/Downloads/setup.exe"
    wine 'C:\Downloads\setup.exe' >/dev/null 2>&1 &
    wine "$find_window" --wait 20000 >/dev/null 2>&1
    pid=$(setup_pid)
    [ -n "$pid" ] || { echo "no setup.exe process" >&2; exit 1; }
    sleep 3 # the version check's failure and the first frames settle
    before=$(cpu_ticks "$pid")
    sleep "$seconds"
    after=$(cpu_ticks "$pid")
    wine "$find_window" --wait 0 --close >/dev/null 2>&1 || true
    echo $(( after - before ))
  )
  rm -rf "$prefix"
}

echo "setup.exe's CPU time with its first page idle for $seconds s, % of one core (median of $runs;"
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)):"
for dpi in 96 144 192; do
  figures=()
  for _ in $(seq "$runs"); do
    figures+=("$(one_run "$dpi")")
  done
  sorted=$(printf '%s\n' "${figures[@]}" | sort -n | tr '\n' ' ')
  median=$(printf '%s\n' "${figures[@]}" | sort -n | sed -n "$(( (runs + 1) / 2 ))p")
  awk -v t="$median" -v hz="$ticks" -v s="$seconds" -v dpi="$dpi" -v all="$sorted" \
    'BEGIN { printf "  %3d DPI: %5.1f %%   (runs, CPU ticks of 1/%d s: %s)\n", dpi, 100 * t / hz / s, hz, all }'
done
