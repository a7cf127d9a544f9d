#!/usr/bin/env bash
# Where the windows go and whom the About window belongs to, under openbox and
# with no window manager; the axis labels under the pointer (windows.py).
#   test_windows.sh BINARY [SCENARIO ...]
set -euo pipefail
APP=$(realpath "$1"); shift
cd "$(dirname "$0")"
exec /usr/bin/python3 windows.py "$APP" "$@"
