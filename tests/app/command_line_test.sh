#!/usr/bin/env bash
# potencor's own command line, with no display of any kind: --help and
# --version answer and exit 0, anything unknown is exit 2 with a hint, and
# none of it reaches Qt's platform error.
#   command_line_test.sh BINARY VERSION
set -uo pipefail
BIN="$1"
VERSION="$2"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# run ARGS...: sets out, err, status; never with a display.
run() {
  local tmp; tmp=$(mktemp -d)
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$BIN" "$@" >"$tmp/out" 2>"$tmp/err" </dev/null
  status=$?
  out=$(cat "$tmp/out"); err=$(cat "$tmp/err")
  rm -rf "$tmp"
}

for opt in --help -h -help; do
  run "$opt"
  [ "$status" -eq 0 ] || fail "$opt: exit $status, stderr: $err"
  [ -z "$err" ] || fail "$opt wrote to stderr: $err"
  grep -q '^Usage: potencor \[OPTION\]\.\.\.$' <<<"$out" || fail "$opt: no usage line in: $out"
  grep -q -- '-platform NAME' <<<"$out" || fail "$opt: Qt's -platform is not listed"
done

for opt in --version -v; do
  run "$opt"
  [ "$status" -eq 0 ] || fail "$opt: exit $status, stderr: $err"
  [ "$(head -n1 <<<"$out")" = "potencor $VERSION" ] || fail "$opt: first line is '$(head -n1 <<<"$out")'"
  grep -q '^License: MIT' <<<"$out" || fail "$opt: no licence in: $out"
done

# The first of the program's options decides, wherever Qt's stand.
run -style Fusion --version
[ "$status" -eq 0 ] && [ "$(head -n1 <<<"$out")" = "potencor $VERSION" ] || fail "-style Fusion --version: exit $status"

# name|args|expected stderr's first line
while IFS='|' read -r name args expected; do
  read -r -a argv <<<"$args"
  run "${argv[@]}"
  [ "$status" -eq 2 ] || fail "$name: exit $status, expected 2"
  [ -z "$out" ] || fail "$name wrote to stdout: $out"
  [ "$(head -n1 <<<"$err")" = "$expected" ] || fail "$name: stderr '$(head -n1 <<<"$err")', expected '$expected'"
  [ "$(sed -n 2p <<<"$err")" = "Try 'potencor --help' for more information." ] || fail "$name: no hint in: $err"
  grep -qi "platform plugin\|could not connect" <<<"$err" && fail "$name reached Qt's platform error"
done <<'ROWS'
unknown long option|--frobnicate|potencor: unrecognized option '--frobnicate'
unknown short option|-x|potencor: unrecognized option '-x'
file argument|protocol.txt|potencor: unexpected argument 'protocol.txt': the program opens no files from the command line
Qt option without its value|-platform|potencor: option '-platform' requires an argument
unknown option after a Qt one|-platform offscreen --bogus|potencor: unrecognized option '--bogus'
ROWS

[ "$failures" -eq 0 ] || { echo "$failures failure(s)" >&2; exit 1; }
echo "command line: OK"
