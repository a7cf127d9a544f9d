# The harness of the checker's shell tests, sourced after CHECK is set.
# Leaves a temporary folder in $T, removed on exit.
T=$(mktemp -d /tmp/potencor-check.XXXXXX)
trap 'rm -rf "$T"' EXIT
fails=0
fail() { echo "FAIL: $*" >&2; fails=$((fails + 1)); }

# run NAME EXPECTED_STATUS ARGS...: output in $T/out, messages in $T/err. A
# checker that waits for something (124: killed after a minute) fails.
run() {
  local name=$1 want=$2 got=0
  shift 2
  timeout 60 "$CHECK" "$@" >"$T/out" 2>"$T/err" || got=$?
  [ "$got" = "$want" ] || fail "$name: exit $got, expected $want; stdout: $(head -c 800 "$T/out"); stderr: $(cat "$T/err")"
}
expect_out() { grep -qF -- "$2" "$T/out" || fail "$1: no '$2' in: $(head -c 1500 "$T/out")"; }
expect_err() { grep -qF -- "$2" "$T/err" || fail "$1: no '$2' on stderr: $(cat "$T/err")"; }
