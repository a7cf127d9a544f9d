#!/usr/bin/env bash
# Measurement, clipboard image and About placement at every display scale,
# with openbox and with no window manager: clicks at the screen pixels where
# the chart draws the grid intersections must measure them to within half a
# logical pixel.
#   test_scale.sh BINARY                  every scale with both window managers
#   test_scale.sh BINARY SCALE WM         one of them (WM: openbox or none)
set -euo pipefail
APP="$1"

if [ $# -eq 1 ]; then
  status=0
  for wm in openbox none; do
    for scale in 1 1.25 1.5 2; do
      bash "$0" "$APP" "$scale" "$wm" || status=1
    done
  done
  exit "$status"
fi

source "$(dirname "$0")/lib.sh"
SCALE="$2"
WM="$3"
export E2E_SCREEN=2700x1800x24 # the main window at scale 2 with its frame
export QT_SCALE_FACTOR="$SCALE"
start_display "$WM"
start_app "$APP"
echo -n "$WM, "
"$PYTHON" "$E2E_DIR/scale_check.py" "$SCALE" "$MAIN" "$E2E_TMP" || fail "scale $SCALE, $WM"
stop_app
