#!/usr/bin/env bash
# Nothing a student does is lost: the save dialog's completer, Tab in the
# protocol box, the question on closing, SIGTERM, SIGKILL and restore, and
# reopening protocols in every encoding (keep_work.py).
#   test_keep_work.sh BINARY [SCENARIO ...]
set -euo pipefail
APP=$(realpath "$1"); shift
cd "$(dirname "$0")"
exec /usr/bin/python3 keep_work.py "$APP" "$@"
