#!/usr/bin/env bash
# Runs one Windows program under Wine in a throw-away prefix copied from the template, with a
# time limit, and passes its exit code through. The prefix and its wineserver end with it.
#   tools/wine/run.sh [--keep DIR] PROGRAM.exe [ARGS...]
# Environment: PLANNIX_WINE_TIMEOUT (seconds, default 240); PLANNIX_WINE_SETUP, a command run
# with WINEPREFIX set before the program (for example to seed the registry).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
keep=""
if [ "${1:-}" = "--keep" ]; then keep=$2; shift 2; fi
template=$("$here/template.sh") || exit 1
prefix=$(mktemp -d "${TMPDIR:-/tmp}/plannix-wine.XXXXXX")
"$here/copy-prefix.sh" "$template" "$prefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d"
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy
cleanup() {
  timeout 20 wineserver -k >/dev/null 2>&1
  timeout 20 wineserver -w >/dev/null 2>&1
  if [ -n "$keep" ]; then mkdir -p "$keep" && cp -a "$prefix/." "$keep/"; fi
  rm -rf "$prefix"
}
trap cleanup EXIT
if [ -n "${PLANNIX_WINE_SETUP:-}" ]; then bash -c "$PLANNIX_WINE_SETUP" || exit 1; fi
timeout --kill-after=10 "${PLANNIX_WINE_TIMEOUT:-240}" wine "$@"
rc=$?
[ $rc -eq 124 ] && echo "run.sh: timed out after ${PLANNIX_WINE_TIMEOUT:-240} s: $*" >&2
exit $rc
