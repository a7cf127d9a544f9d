#!/usr/bin/env bash
# What a screen reader learns of the program over AT-SPI (accessibility.py),
# on a session bus of the test's own: Qt joins the accessibility bus in such
# a session only when told to.
#   test_accessibility.sh BINARY
set -euo pipefail
APP=$(realpath "$1")
cd "$(dirname "$0")"
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
exec dbus-run-session -- /usr/bin/python3 accessibility.py "$APP"
