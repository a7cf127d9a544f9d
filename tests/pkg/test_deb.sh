#!/usr/bin/env bash
# Builds the Debian package from the build tree, checks its control data and
# contents, then unpacks it into a scratch root and runs the program there the
# way its menu entry does: warning answered, one measurement, protocol saved.
#   test_deb.sh BUILD_DIR
source "$(dirname "$0")/../e2e/lib.sh"
BUILD=$(cd "$1" && pwd)

# ---- build ------------------------------------------------------------------
OUT="$E2E_TMP/out"
cpack --config "$BUILD/CPackConfig.cmake" -B "$OUT" >"$E2E_TMP/cpack.log" 2>&1 \
  || { cat "$E2E_TMP/cpack.log"; fail "cpack failed"; }
debs=("$OUT"/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one .deb, got: ${debs[*]}"
DEB=${debs[0]}

# ---- control data -----------------------------------------------------------
field() { dpkg-deb -f "$DEB" "$1"; }
dpkg-deb -I "$DEB" | sed -n 's/^ *\(Depends:.*\)/\1/p'
expect_eq "$(basename "$DEB")" "potencor_$(field Version)_$(dpkg --print-architecture).deb" "file name"
expect_eq "$(field Package)" potencor "package name"
expect_eq "$(field Section)" science "section"
expect_eq "$(field Maintainer)" "The Potencor developers <potencor@example.org>" "maintainer"
# dpkg-shlibdeps' part (what the binary links; libqt6gui6 also ships the xcb
# platform plugin) and ours (what Qt loads at run time).
depends=$(field Depends | tr -d ' ' | tr ',' '\n' | sed 's/(.*//')
for p in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 \
         qt6-translations-l10n fonts-liberation fonts-dejavu-core; do
  grep -qx "$p" <<<"$depends" || fail "Depends lacks $p: $(field Depends)"
done
# Every dependency is known to this system's apt and satisfiable.
apt-get install -s "$DEB" >"$E2E_TMP/apt.log" 2>&1 || { cat "$E2E_TMP/apt.log"; fail "apt cannot install the package"; }
grep -q '^Inst potencor ' "$E2E_TMP/apt.log" || { cat "$E2E_TMP/apt.log"; fail "apt would not install potencor"; }

# ---- contents ---------------------------------------------------------------
ROOT="$E2E_TMP/root"
dpkg-deb -x "$DEB" "$ROOT"
ENTRY="$ROOT/usr/share/applications/org.example.potencor.desktop"
for f in usr/bin/potencor usr/bin/potencor-check usr/share/man/man1/potencor-check.1.gz \
         usr/share/man/man1/potencor.1.gz \
         usr/share/applications/org.example.potencor.desktop \
         usr/share/metainfo/org.example.potencor.metainfo.xml usr/share/doc/potencor/copyright; do
  [ -f "$ROOT/$f" ] || fail "package lacks /$f"
done
# The manual pages: gzipped, and rendered by man without a warning.
for page in potencor-check potencor; do
  MAN="$ROOT/usr/share/man/man1/$page.1.gz"
  gzip -t "$MAN" || fail "$page's manual page is not valid gzip"
  man_warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$MAN" 2>&1 >/dev/null)
  [ -z "$man_warnings" ] || fail "$page's manual page warnings: $man_warnings"
  LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$MAN" 2>/dev/null | grep -q "EXIT STATUS" || fail "$page's manual page does not render"
done
"$ROOT/usr/bin/potencor-check" --version | grep -qx "potencor-check $(field Version)" \
  || fail "potencor-check --version: $("$ROOT/usr/bin/potencor-check" --version 2>&1)"
# The menu entry's icon name, at every usual size of the theme.
icon_name=$(sed -n 's/^Icon=//p' "$ENTRY")
[ -n "$icon_name" ] || fail "menu entry names no icon"
for n in 16 22 24 32 48 64 128 256; do
  icon="$ROOT/usr/share/icons/hicolor/${n}x${n}/apps/$icon_name.png"
  [ -f "$icon" ] || fail "package lacks the ${n} px icon"
  expect_eq "$(identify -format '%m %wx%h' "$icon")" "PNG ${n}x${n}" "${n} px icon"
done
# Qt comes from the system: nothing may point back into the build tree.
for bin in potencor potencor-check; do
  if readelf -d "$ROOT/usr/bin/$bin" | grep -qE 'RPATH|RUNPATH'; then
    fail "installed $bin keeps a run path: $(readelf -d "$ROOT/usr/bin/$bin" | grep -E 'RPATH|RUNPATH')"
  fi
done
# The metadata's launchable is the installed menu entry.
appstreamcli validate-tree --no-net "$ROOT" || fail "installed tree does not validate"

# ---- smoke test: the menu entry's command -----------------------------------
command=$(sed -n 's/^Exec=//p' "$ENTRY")
APP=$(PATH="$ROOT/usr/bin:$PATH" command -v "${command%% *}") || fail "menu entry's command '$command' not found"
expect_eq "$APP" "$ROOT/usr/bin/potencor" "menu entry's command"

export LC_ALL=C.UTF-8 # full stop as the decimal separator
start_display openbox
start_app "$APP"     # the start-up warning is shown, answered, then the main window
measure_client 508 340 # the chart's middle
move_client 900 500
wait_pixel 508 340 255,0,0 "measured point not drawn"

OUT_FILE="$E2E_TMP/protocol.txt"
# The dialog is found by its Russian title: Qt's catalogue came with the package.
save_protocol "$OUT_FILE"
printf '0: x=21.425\xf1\xec y=14.978\xf1\xec phi=6.300 \xc2\r\n' >"$E2E_TMP/expected.txt"
cmp "$OUT_FILE" "$E2E_TMP/expected.txt" || { od -c "$OUT_FILE" | head; fail "protocol bytes differ"; }

kill -0 "$APP_PID" || fail "program died"

# The packaged checker on the file the packaged program just saved, and its
# plot (offscreen, whatever display is around).
check_out=$("$ROOT/usr/bin/potencor-check" --plot "$E2E_TMP/map.png" "$OUT_FILE") \
  || fail "potencor-check rejects the program's protocol: $check_out"
grep -qF "ok: 1 lines, 1 ok, 0 wrong, 0 malformed, 0 other (ANSI)" <<<"$check_out" \
  || fail "potencor-check: $check_out"
expect_eq "$(identify -format '%m %wx%h' "$E2E_TMP/map.png")" "PNG 1000x700" "potencor-check's plot"
echo "package smoke test: OK ($(basename "$DEB"))"
