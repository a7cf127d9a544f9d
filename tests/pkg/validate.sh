#!/usr/bin/env bash
# Validates installable metadata as the distributions' tools do. Errors and
# warnings fail; hints and pedantic notes are shown but pass.
#   validate.sh desktop FILE.desktop
#   validate.sh metainfo FILE.metainfo.xml
set -uo pipefail
kind="$1" file="$2"
case "$kind" in
  desktop)
    out=$(desktop-file-validate "$file" 2>&1); rc=$?
    echo "$out"
    [ $rc -eq 0 ] && ! grep -qE ': (error|warning):' <<<"$out" ;;
  metainfo)
    # Offline: the screenshot and home page URLs are not fetched.
    appstreamcli validate --no-net --pedantic "$file" ;;
  *)
    echo "unknown kind: $kind" >&2; exit 2 ;;
esac
