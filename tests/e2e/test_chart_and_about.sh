#!/usr/bin/env bash
# A student copies the chart into a report and reads the About window.
source "$(dirname "$0")/lib.sh"
APP="$1"

start_display openbox
start_app "$APP"

# Something on the clipboard before, which the copy must replace. xclip
# serves it from a process of its own, which takes the clipboard after
# this one has returned.
printf 'old clipboard text' | xclip -selection clipboard
clipboard_is_old_text() { [ "$(xclip -selection clipboard -o 2>/dev/null)" = 'old clipboard text' ]; }
wait_for "xclip to hold the clipboard" clipboard_is_old_text
measure_client 508 340                    # one measurement in the chart's middle
click_client 707 757                      # "Копировать график в буфер"
clipboard_offers_png() {
  targets=$(xclip -selection clipboard -t TARGETS -o 2>/dev/null || true)
  SEEN="targets $(echo $targets)"
  grep -q '^image/png$' <<<"$targets"
}
wait_for "an image on the clipboard after the copy" clipboard_offers_png
echo "$targets" | grep -q -E '^(UTF8_STRING|text/plain)' && fail "old text still offered on the clipboard"
xclip -selection clipboard -t image/png -o > "$E2E_TMP/chart.png"
expect_eq "$(identify -format '%wx%h' "$E2E_TMP/chart.png")" "1000x700" "clipboard image size"
chart_pixel() { convert "$E2E_TMP/chart.png" -crop "1x1+$1+$2" -depth 8 txt:- | awk 'NR==2 {print $2}' | tr -d '()' | cut -d, -f1-3; }
expect_eq "$(chart_pixel 508 340)" "255,0,0" "measured point in the copied chart"
expect_eq "$(chart_pixel 27 600)" "0,0,0" "left axis line in the copied chart"

# The About window: centred over the main window on its first showing.
click_client 907 757                      # "О программе"
ABOUT=$(wait_window 'Описание программы')
geometry=$(xdrive settle "$ABOUT")
read -r ax ay aw ah <<<"$geometry"
expect_eq "${aw}x${ah}" "982x348" "About window client size"
expect_eq "$((ax - CX)),$((ay - CY))" "132,213" "About window placed over the main window"
screenshot
cp "$E2E_TMP/shot.png" /tmp/potencor-about.png 2>/dev/null || true

# Moved by the user, closed, shown again: it comes back where it was left.
xdotool windowmove "$ABOUT" 40 60
geometry=$(xdrive settle "$ABOUT" "$ax" "$ay")
read -r mx my _ _ <<<"$geometry"
xdrive activate "$ABOUT"
xdrive key-close "$ABOUT" alt+F4
wait_no_window 'Описание программы'
kill -0 "$APP_PID" || fail "closing the About window ended the program"
click_client 907 757
ABOUT=$(wait_window 'Описание программы')
geometry=$(xdrive settle "$ABOUT")
read -r rx ry _ _ <<<"$geometry"
expect_eq "$rx,$ry" "$mx,$my" "About window reopened where the user left it"

# The main window still takes measurements while the About window is up.
measure_client 300 600                    # below where the About window was left
OUT="$E2E_TMP/p.txt"
save_protocol "$OUT"
expect_eq "$(tr -d '\r' < "$OUT" | cut -d: -f1 | tr '\n' ' ')" "0 1 " "protocol numbers"

kill -0 "$APP_PID" || fail "program died"
echo "e2e chart and about: OK"
