#!/usr/bin/env bash
# Runs a command (a whole test suite) inside one Xvfb display, so every Wine process of the
# suite shares one display and none ever starts without one.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/template.sh" >/dev/null
exec xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" "$@"
