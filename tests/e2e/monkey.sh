#!/usr/bin/env bash
# The monkey run: thousands of seeded random user actions on the program under
# openbox (monkey.py), then the program must still be alive, have shown no
# unexpected error box, have saved protocols that match the actions, and end
# normally with nothing reported by the sanitizers of a sanitizer build.
#   monkey.sh BINARY
# The seed is printed at the start. POTENCOR_MONKEY_SEED=n replays a run;
# with CI set and no seed given, the seed is a fixed one, so that a failure
# there replays as it is; otherwise it is random. POTENCOR_MONKEY_ACTIONS=n
# sets the run's length (default 5000).
source "$(dirname "$0")/lib.sh"
APP="$1"

start_display openbox
start_app "$APP"
"$PYTHON" "$E2E_DIR/monkey.py" "$MAIN" "$APP_PID" "$E2E_TMP" || fail "monkey run"
stop_app
echo "monkey: OK"
