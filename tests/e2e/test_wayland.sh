#!/usr/bin/env bash
# A Wayland desktop (headless sway): with XWayland the program's windows are
# X11 clients, which can go where the program asks; without XWayland it
# starts natively.
# sway refuses to run as root: run as root, the test runs as nobody.
set -euo pipefail
APP="$1"
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

for tool in sway swaymsg Xwayland; do
  command -v "$tool" >/dev/null || { echo "FAIL: no $tool (packages sway, xwayland: scripts/common.sh installs them)" >&2; exit 1; }
done
ls /usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so >/dev/null 2>&1 \
  || { echo "FAIL: no Qt Wayland platform plugin (package qt6-wayland)" >&2; exit 1; }

WORK=$(mktemp -d /tmp/potencor-wayland.XXXXXX)
DRIVER=""
cleanup() {
  local status=$?
  # Interrupted: the driver stops sway and the program on the way out, and
  # what outlives it (XWayland's launcher) goes with its process group.
  if [ -n "$DRIVER" ]; then
    kill -TERM -- "-$DRIVER" 2>/dev/null || true
    wait "$DRIVER" 2>/dev/null || true
    kill -KILL -- "-$DRIVER" 2>/dev/null || true
  fi
  rm -rf "$WORK"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# Everything the other user runs or reads is copied where it may: the build
# tree can lie under root's home.
mkdir "$WORK/bin"
cp "$APP" "$WORK/bin/potencor"
cp "$HERE/wayland.py" "$HERE/xdrive.py" "$HERE/../lsan.supp" "$WORK/bin/"
if [ -n "${LSAN_OPTIONS:-}" ]; then
  LSAN_OPTIONS=$(sed -E "s#suppressions=[^:]*#suppressions=$WORK/bin/lsan.supp#" <<<"$LSAN_OPTIONS")
fi
export HOME="$WORK" LSAN_OPTIONS
RUN_AS=()
if [ "$(id -u)" -eq 0 ]; then
  chown -R nobody:"$(id -gn nobody)" "$WORK"
  # Where XWayland puts its socket; a desktop system makes it at boot, a fresh
  # build machine may not have it yet, and nobody could not make it right.
  [ -d /tmp/.X11-unix ] || install -d -m 1777 /tmp/.X11-unix
  RUN_AS=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups env USER=nobody LOGNAME=nobody)
fi

# Its own process group, so that whatever it leaves running goes with it.
cd "$WORK"
setsid "${RUN_AS[@]}" /usr/bin/python3 "$WORK/bin/wayland.py" "$WORK/bin/potencor" "$WORK" &
DRIVER=$!
status=0
wait "$DRIVER" || status=$?
DRIVER=""
exit "$status"
