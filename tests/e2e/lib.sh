# Helpers for end-to-end tests: a virtual display with a window manager, the
# real program, and xdrive.py/xclip acting as the user. Every wait is on a
# condition, with a limit of E2E_TIMEOUT seconds (default 60), and one that
# runs out fails the test naming what it waited for.
set -euo pipefail

E2E_TMP=$(mktemp -d /tmp/potencor-e2e.XXXXXX)
# The program's recovery journals stay with the test, out of the user's state
# folder and its fallback in the cache, so that no test finds another's
# left-overs at start-up.
export XDG_STATE_HOME="$E2E_TMP/state"
export XDG_CACHE_HOME="$E2E_TMP/cache"
E2E_PIDS=()
E2E_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# Debian's interpreter, which has python3-xlib, whatever python3 is first in PATH.
PYTHON=/usr/bin/python3
XDRIVE="$E2E_DIR/xdrive.py"
export E2E_TIMEOUT="${E2E_TIMEOUT:-60}"

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

# wait_for WHAT COMMAND...: runs COMMAND until it succeeds, failing with WHAT
# once E2E_TIMEOUT seconds have gone by. A COMMAND that sets SEEN has it told
# as what it saw last.
wait_for() {
  local what="$1"; shift
  local end=$((SECONDS + E2E_TIMEOUT))
  SEEN=""
  until "$@"; do
    [ "$SECONDS" -lt "$end" ] || fail "timed out after $E2E_TIMEOUT s waiting for $what${SEEN:+ (last seen: $SEEN)}"
    sleep 0.05
  done
}

file_written() { [ -s "$1" ]; }

# xdrive ARGS...: xdrive.py's command line; a wait that runs out fails the test
# with the driver's account of it.
xdrive() {
  "$PYTHON" "$XDRIVE" "$@" || fail "xdrive.py $*"
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
  XVFB_PID=$!
  E2E_PIDS+=($XVFB_PID)
  # The number comes with its line's end once the server takes clients.
  wait_for "Xvfb to write its display number" display_number_written
  n=$(tr -dc 0-9 < "$E2E_TMP/display")
  export DISPLAY=":$n"
  wait_for "Xvfb to answer on $DISPLAY" xdpyinfo_quiet
  if [ "$wm" = openbox ]; then
    openbox >"$E2E_TMP/wm.log" 2>&1 &
    E2E_PIDS+=($!)
    xdrive wait-wm
  fi
}
display_number_written() {
  kill -0 "$XVFB_PID" 2>/dev/null || fail "Xvfb exited"
  grep -q '^[0-9][0-9]*$' "$E2E_TMP/display"
}
xdpyinfo_quiet() { xdpyinfo >/dev/null 2>&1; }

# wait_window NAME: prints the id of the first visible window with that name.
wait_window() {
  xdrive wait-window "$1"
}

# window_shown NAME: whether a window with that name is visible now.
window_shown() { "$PYTHON" "$XDRIVE" shown "$1"; }
window_not_shown() { ! window_shown "$1"; }

wait_no_window() {
  wait_for "window '$1' to close" window_not_shown "$1"
}

# start_app BINARY: starts the program, answers the start-up warning, and sets
# MAIN (window id) and CX, CY (the client area's screen origin).
start_app() {
  "$1" >"$E2E_TMP/app.log" 2>&1 &
  APP_PID=$!
  E2E_PIDS+=($APP_PID)
  local warning
  warning=$(wait_window Warning)
  # The main window comes only once the box has been answered.
  xdrive ping "$warning"
  window_shown 'Потенкор' && fail "main window shown before the warning was answered"
  answer_warning "$warning"
  MAIN=$(wait_window 'Потенкор')
  xdrive activate "$MAIN"
  client_origin
}

# Return in the warning box once it has the keyboard, as a user would; then
# the box must go.
answer_warning() {
  xdrive activate "$1"
  xdrive key-close "$1" Return
}

# stop_app: closes the main window as its close button does and expects the
# program to end normally (exit status 0), which also runs the leak check of a
# sanitizer build.
stop_app() {
  # The test's measurements are not kept: asked about them, the answer is "Не сохранять".
  "$PYTHON" "$XDRIVE" end "$MAIN" "$APP_PID" || fail "the program did not end when its window was closed"
  local status=0
  wait "$APP_PID" || status=$?
  sanitizer_report && fail "sanitizer report"
  [ "$status" -eq 0 ] || { cat "$E2E_TMP/app.log" >&2; fail "program exited with status $status"; }
}

# client_origin: CX, CY, the main window's client area on the screen, once
# the window manager has placed it and it stays there.
client_origin() {
  local geometry
  geometry=$(xdrive settle "$MAIN")
  read -r CX CY _ _ <<<"$geometry"
}

# click_client X Y [button]: a click at a client-area pixel of the main window;
# returns once the program has handled it.
click_client() {
  xdrive click "$MAIN" "$1" "$2" "${3:-1}"
}

# measure_client X Y: a left click on the chart that measures there; returns
# once the point shows. The program reads the pointer when it handles the
# click, and can answer a ping before it has: the pointer stays till then.
measure_client() {
  click_client "$1" "$2"
  "$PYTHON" "$XDRIVE" wait-red "$MAIN" "$1" "$2" || { screenshot; fail "no point drawn at ($1, $2) after a click there"; }
}

# move_client X Y: the pointer to a client-area pixel of the main window.
move_client() {
  xdrive move "$MAIN" "$1" "$2"
}

# wait_pixel X Y R,G,B WHAT: until the main window's client-area pixel shows
# that colour (a repaint comes after the click that asked for it).
wait_pixel() {
  "$PYTHON" "$XDRIVE" wait-pixel "$MAIN" "$1" "$2" "$3" || { screenshot; fail "$4"; }
}

screenshot() { import -window root "$E2E_TMP/shot.png"; }

# pixel X Y: the screenshot's colour at a client-area pixel, as "r,g,b".
pixel() {
  convert "$E2E_TMP/shot.png" -crop "1x1+$((CX + $1))+$((CY + $2))" -depth 8 txt:- \
    | awk 'NR==2 {print $2}' | tr -d '()' | cut -d, -f1-3
}

expect_eq() { [ "$1" = "$2" ] || fail "$3: expected '$2', got '$1'"; }

# type_text WINDOW TEXT: types into the window that has the keyboard; returns
# once its program has read it all. The driver types ASCII from the keyboard
# map; xdotool maps other characters onto spare keys.
type_text() {
  if LC_ALL=C grep -q '[^ -~]' <<<"$2"; then
    xdotool type --delay 20 "$2"
    xdrive ping "$1"
  else
    xdrive type "$1" "$2"
  fi
}

# save_protocol PATH: "Сохранить данные в файл", then the path typed into the
# dialog and confirmed; waits for the file.
save_protocol() {
  click_client 907 726
  local dialog
  # Qt's Russian catalogue titles the dialog.
  dialog=$(wait_window 'Сохранить как')
  xdrive activate "$dialog"
  xdrive key "$dialog" ctrl+a
  type_text "$dialog" "$1"
  xdrive key-close "$dialog" Return
  # The file is written after the dialog has gone, before the program
  # reads its next event.
  xdrive ping "$MAIN"
  wait_for "the protocol file $1 after the save dialog had closed" file_written "$1"
}
