#!/usr/bin/env bash
# The set-up scripts as a user who is not root: missing packages are installed
# through sudo with no question asked, and ./run without a display stops before
# it installs or builds anything. sudo, apt-get, dpkg-query and cmake are
# stand-ins that note how they were called; the stand-in sudo clears the
# environment as the real one does.
#   test_scripts.sh SOURCE_DIR
set -euo pipefail
SRC=$(realpath "$1")
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
fail() { echo "FAIL: $*" >&2; echo "-- calls:" >&2; cat "$LOG" >&2; exit 1; }

mkdir -p "$TMP/bin" "$TMP/src/scripts"
cp "$SRC/run" "$TMP/src/"
cp "$SRC/scripts/common.sh" "$TMP/src/scripts/"
LOG="$TMP/calls"
: > "$LOG"
cat > "$TMP/bin/dpkg-query" <<'EOF'
#!/bin/sh
echo "unknown ok not-installed"
EOF
cat > "$TMP/bin/sudo" <<EOF
#!/bin/sh
echo "sudo \$*" >> "$LOG"
exec env -i PATH="\$PATH" "\$@"
EOF
for tool in apt-get cmake; do
  cat > "$TMP/bin/$tool" <<EOF
#!/bin/sh
echo "$tool DEBIAN_FRONTEND=\${DEBIAN_FRONTEND:-} \$*" >> "$LOG"
EOF
done
chmod -R a+rX "$TMP"
chmod 755 "$TMP/bin"/*
chmod 666 "$LOG"

# A user with nothing but a path, stdin closed: a prompt would read end of file.
as_user() {
  setpriv --reuid=nobody --regid=nogroup --clear-groups \
    env -i PATH="$TMP/bin:/usr/bin:/bin" HOME="$TMP" "$@" </dev/null
}

as_user bash -c "source '$TMP/src/scripts/common.sh'; ensure_packages" >/dev/null
grep -q '^sudo ' "$LOG" || fail "packages were not installed through sudo"
[ "$(grep -c '^apt-get DEBIAN_FRONTEND=noninteractive ' "$LOG")" -eq 2 ] \
  || fail "apt-get did not get DEBIAN_FRONTEND=noninteractive past sudo"
grep -q '^apt-get DEBIAN_FRONTEND=noninteractive install -y' "$LOG" || fail "apt-get install may ask"

: > "$LOG"
status=0
out=$(as_user bash "$TMP/src/run" 2>&1) || status=$?
[ "$status" -ne 0 ] || fail "./run without a display succeeded"
grep -q "No display found" <<<"$out" || fail "./run without a display said: $out"
[ ! -s "$LOG" ] || fail "./run installed or built before looking for a display"

# With a display it goes on to install and build: the check is what stopped it.
: > "$LOG"
as_user DISPLAY=:99 bash "$TMP/src/run" >/dev/null 2>&1 || true
grep -q '^apt-get ' "$LOG" && grep -q '^cmake ' "$LOG" || fail "./run with a display neither installed nor built"
echo "set-up scripts: OK"
