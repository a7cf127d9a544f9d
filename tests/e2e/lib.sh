# Helpers for end-to-end tests: a virtual display with a window manager, the
# real program, and xdotool/xclip acting as the user.
set -euo pipefail

E2E_TMP=$(mktemp -d /tmp/potencor-e2e.XXXXXX)
# The program's recovery journals stay with the test, out of the user's state
# folder, so that no test finds another's left-overs at start-up.
export XDG_STATE_HOME="$E2E_TMP/state"
E2E_PIDS=()
E2E_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# Debian's interpreter, which has python3-xlib, whatever python3 is first in PATH.
PYTHON=/usr/bin/python3
XDRIVE="$E2E_DIR/xdrive.py"

# Sanitizer reports (AddressSanitizer, LeakSanitizer, UndefinedBehaviorSanitizer)
# in the program's output fail the test, whatever else happened.
sanitizer_report() {
  [ -f "$E2E_TMP/app.log" ] && grep -qE 'Sanitizer|runtime error:' "$E2E_TMP/app.log"
}

e2e_cleanup() {
  local status=$? pid
  # A program still running here is one the test did not end itself: it goes
  # at once, before its display, rather than asking about unsaved work.
  [ -n "${APP_PID:-}" ] && kill -KILL "$APP_PID" 2>/dev/null || true
  for pid in "${E2E_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  if sanitizer_report; then
    echo "FAIL: sanitizer report in the program's output:" >&2
    cat "$E2E_TMP/app.log" >&2
    status=1
  fi
  rm -rf "$E2E_TMP"
  exit "$status"
}
trap e2e_cleanup EXIT
# Killed (a ctest timeout, a closed pipe): still stop the display and the program.
trap 'exit 1' INT TERM HUP PIPE

fail() {
  echo "FAIL: $*" >&2
  [ -f "$E2E_TMP/shot.png" ] && cp "$E2E_TMP/shot.png" /tmp/potencor-e2e-fail.png
  [ -s "$E2E_TMP/app.log" ] && { echo "-- the program's output:" >&2; tail -n 40 "$E2E_TMP/app.log" >&2; }
  [ -s "$E2E_TMP/xvfb.log" ] && { echo "-- Xvfb:" >&2; tail -n 20 "$E2E_TMP/xvfb.log" >&2; }
  exit 1
}

# start_display [wm]: Xvfb on a free display number, and openbox unless wm=none.
# E2E_SCREEN sets the screen's size and depth.
start_display() {
  local wm="${1:-openbox}" n=""
  # Xvfb picks a free display itself and writes its number to the file.
  : >"$E2E_TMP/display"
  # -noreset: without a window manager the server would otherwise reset
  # whenever its last client leaves, refusing connections meanwhile.
  Xvfb -displayfd 3 -noreset -screen 0 "${E2E_SCREEN:-1600x1000x24}" -nolisten tcp 3>"$E2E_TMP/display" >"$E2E_TMP/xvfb.log" 2>&1 &
  E2E_PIDS+=($!)
  for _ in $(seq 100); do
    n=$(tr -dc 0-9 < "$E2E_TMP/display")
    [ -n "$n" ] && break
    sleep 0.1
  done
  [ -n "$n" ] || { cat "$E2E_TMP/xvfb.log" >&2; fail "Xvfb did not start"; }
  export DISPLAY=":$n"
  for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  xdpyinfo >/dev/null 2>&1 || fail "Xvfb did not answer"
  if [ "$wm" = openbox ]; then
    openbox >"$E2E_TMP/wm.log" 2>&1 &
    E2E_PIDS+=($!)
    sleep 0.5
  fi
}

# wait_window NAME: prints the id of the first visible window with that name.
wait_window() {
  local id=""
  for _ in $(seq 400); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  fail "no window named '$1'"
}

wait_no_window() {
  for _ in $(seq 100); do
    xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  fail "window '$1' did not close"
}

# start_app BINARY: starts the program, answers the start-up warning, and sets
# MAIN (window id) and CX, CY (the client area's screen origin).
start_app() {
  "$1" >"$E2E_TMP/app.log" 2>&1 &
  APP_PID=$!
  E2E_PIDS+=($APP_PID)
  local warning
  warning=$(wait_window Warning)
  xdotool search --onlyvisible --name '^Потенкор$' >/dev/null 2>&1 && fail "main window shown before the warning was answered"
  answer_warning "$warning"
  MAIN=$(wait_window 'Потенкор')
  sleep 0.5
  client_origin
}

# Presses Return in the warning box until it is gone, as a user would.
answer_warning() {
  local _
  for _ in $(seq 20); do
    sleep 0.3
    xdotool windowactivate --sync "$1" >/dev/null 2>&1 || xdotool windowfocus "$1" >/dev/null 2>&1 || true
    xdotool key Return
    sleep 0.2
    xdotool search --onlyvisible --name '^Warning$' >/dev/null 2>&1 || return 0
  done
  fail "the warning box did not close"
}

# stop_app: closes the main window as its close button does and expects the
# program to end normally (exit status 0), which also runs the leak check of a
# sanitizer build.
stop_app() {
  # The test's measurements are not kept: asked about them, the answer is "Не сохранять".
  "$PYTHON" "$XDRIVE" end "$MAIN" "$APP_PID" || fail "the program did not end when its window was closed"
  local _
  for _ in $(seq 300); do kill -0 "$APP_PID" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$APP_PID" 2>/dev/null && fail "program still running after its main window was closed"
  local status=0
  wait "$APP_PID" || status=$?
  sanitizer_report && fail "sanitizer report"
  [ "$status" -eq 0 ] || { cat "$E2E_TMP/app.log" >&2; fail "program exited with status $status"; }
}

client_origin() {
  CX=$(xwininfo -id "$MAIN" | awk '/Absolute upper-left X/ {print $4}')
  CY=$(xwininfo -id "$MAIN" | awk '/Absolute upper-left Y/ {print $4}')
}

# click_client X Y [button]: a click at a client-area pixel of the main window.
click_client() {
  xdotool mousemove --sync $((CX + $1)) $((CY + $2))
  sleep 0.05
  xdotool click "${3:-1}"
  sleep 0.15
}

screenshot() { import -window root "$E2E_TMP/shot.png"; }

# pixel X Y: the screenshot's colour at a client-area pixel, as "r,g,b".
pixel() {
  convert "$E2E_TMP/shot.png" -crop "1x1+$((CX + $1))+$((CY + $2))" -depth 8 txt:- \
    | awk 'NR==2 {print $2}' | tr -d '()' | cut -d, -f1-3
}

expect_eq() { [ "$1" = "$2" ] || fail "$3: expected '$2', got '$1'"; }

# save_protocol PATH: "Сохранить данные в файл", then the path typed into the
# dialog and confirmed; waits for the file.
save_protocol() {
  click_client 907 726
  local dialog
  # Qt's Russian catalogue titles the dialog.
  dialog=$(wait_window 'Сохранить как')
  xdotool windowactivate --sync "$dialog" >/dev/null 2>&1 || true
  sleep 0.3
  xdotool key ctrl+a
  xdotool type --delay 20 "$1"
  xdotool key Return
  for _ in $(seq 50); do [ -s "$1" ] && break; sleep 0.1; done
  [ -s "$1" ] || fail "protocol file $1 not written"
}
