#!/usr/bin/env bash
# A student without a mouse measures, undoes and saves with the keyboard
# alone; the file equals the one clicks on the same pixels give (keyboard.py).
#   test_keyboard.sh BINARY
set -euo pipefail
APP=$(realpath "$1")
cd "$(dirname "$0")"
exec /usr/bin/python3 keyboard.py "$APP"
