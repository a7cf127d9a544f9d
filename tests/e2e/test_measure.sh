#!/usr/bin/env bash
# A student starts the program, takes measurements, undoes one and saves the
# protocol through the real dialog.
source "$(dirname "$0")/lib.sh"
APP="$1"

start_display openbox
start_app "$APP"

# The chart's middle: 516, 372 px from the window's outer corner.
measure_client 508 340
measure_client 27 678        # the plot's lower-left corner
measure_client 764 340       # inside the right electrode
click_client 300 300 3       # right button: no measurement
measure_client 615 200
click_client 707 726         # "Удалить последний элемент"
move_client 900 500
# The chart repaints some time after the click that changed it.
wait_pixel 508 340 255,0,0 "measured point not drawn red at the clicked pixel"
wait_pixel 615 200 255,255,255 "undone point not removed from the chart"

# Save through the dialog, typing the path as a user does.
OUT="$E2E_TMP/protocol.txt"
save_protocol "$OUT"

printf '0: x=21.425\xf1\xec y=14.978\xf1\xec phi=6.300 \xc2\r\n1: x=0.000\xf1\xec y=0.000\xf1\xec phi=4.672 \xc2\r\n2: x=32.828\xf1\xec y=14.978\xf1\xec phi=12.600 \xc2\r\n' > "$E2E_TMP/expected.txt"
cmp "$OUT" "$E2E_TMP/expected.txt" || { od -c "$OUT" | head -20; fail "protocol bytes differ"; }

kill -0 "$APP_PID" || fail "program died"
stop_app
echo "e2e measure: OK"
