#!/usr/bin/env bash
# A student copies the chart into a report and reads the About window.
source "$(dirname "$0")/lib.sh"
APP="$1"

start_display openbox
start_app "$APP"

# Something on the clipboard before, which the copy must replace.
printf 'old clipboard text' | xclip -selection clipboard
click_client 508 340                      # one measurement in the chart's middle
click_client 707 757                      # "Копировать график в буфер"
sleep 0.5
targets=$(xclip -selection clipboard -t TARGETS -o 2>/dev/null || true)
echo "$targets" | grep -q '^image/png$' || fail "no image on the clipboard (targets: $targets)"
echo "$targets" | grep -q -E '^(UTF8_STRING|text/plain)' && fail "old text still offered on the clipboard"
xclip -selection clipboard -t image/png -o > "$E2E_TMP/chart.png"
expect_eq "$(identify -format '%wx%h' "$E2E_TMP/chart.png")" "1000x700" "clipboard image size"
chart_pixel() { convert "$E2E_TMP/chart.png" -crop "1x1+$1+$2" -depth 8 txt:- | awk 'NR==2 {print $2}' | tr -d '()' | cut -d, -f1-3; }
expect_eq "$(chart_pixel 508 340)" "255,0,0" "measured point in the copied chart"
expect_eq "$(chart_pixel 27 600)" "0,0,0" "left axis line in the copied chart"

# The About window: centred over the main window on its first showing.
click_client 907 757                      # "О программе"
ABOUT=$(wait_window 'Описание программы')
sleep 0.5
ax=$(xwininfo -id "$ABOUT" | awk '/Absolute upper-left X/ {print $4}')
ay=$(xwininfo -id "$ABOUT" | awk '/Absolute upper-left Y/ {print $4}')
aw=$(xwininfo -id "$ABOUT" | awk '/Width:/ {print $2}')
ah=$(xwininfo -id "$ABOUT" | awk '/Height:/ {print $2}')
expect_eq "${aw}x${ah}" "982x348" "About window client size"
expect_eq "$((ax - CX)),$((ay - CY))" "132,213" "About window placed over the main window"
screenshot
cp "$E2E_TMP/shot.png" /tmp/potencor-about.png 2>/dev/null || true

# Moved by the user, closed, shown again: it comes back where it was left.
xdotool windowmove "$ABOUT" 40 60
sleep 0.5
mx=$(xwininfo -id "$ABOUT" | awk '/Absolute upper-left X/ {print $4}')
my=$(xwininfo -id "$ABOUT" | awk '/Absolute upper-left Y/ {print $4}')
xdotool windowactivate --sync "$ABOUT" >/dev/null 2>&1 || true
xdotool key alt+F4
wait_no_window 'Описание программы'
kill -0 "$APP_PID" || fail "closing the About window ended the program"
click_client 907 757
ABOUT=$(wait_window 'Описание программы')
sleep 0.5
rx=$(xwininfo -id "$ABOUT" | awk '/Absolute upper-left X/ {print $4}')
ry=$(xwininfo -id "$ABOUT" | awk '/Absolute upper-left Y/ {print $4}')
expect_eq "$rx,$ry" "$mx,$my" "About window reopened where the user left it"

# The main window still takes measurements while the About window is up.
click_client 300 600                      # below where the About window was left
OUT="$E2E_TMP/p.txt"
save_protocol "$OUT"
expect_eq "$(tr -d '\r' < "$OUT" | cut -d: -f1 | tr '\n' ' ')" "0 1 " "protocol numbers"

kill -0 "$APP_PID" || fail "program died"
echo "e2e chart and about: OK"
