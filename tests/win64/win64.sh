#!/usr/bin/env bash
# The core and potencor-check cross-built for Windows (MinGW-w64) and run
# under Wine, headless, in a Wine prefix of their own inside the Windows build.
# Usage: win64.sh STEP SOURCE_DIR WIN64_BUILD_DIR [ARGS]
#   build [WERROR] [LAUNCHER]   configure and build, zip included; make the prefix
#   unit                        the core's and the checker's unit tests
#   digits LINUX_DIGITS         the numbers behind every verdict, both builds
#   cli LINUX_CHECK LINUX_DIGITS  the checker on one class folder, both builds
#   zip                         the zip's contents, and its program alone
#   stop                        end the prefix's wineserver
set -euo pipefail
STEP=$1 SRC=$2 B=$3
shift 3
export WINEPREFIX="$B/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY # no windows, no dialogs
fails=0
fail() { echo "FAIL: $*" >&2; fails=$((fails + 1)); }
win() { wine "$@"; }
# The prefix's server, and its own processes (services.exe, winedevice.exe
# and the like), which the first program run in it starts and which then live
# as long as the server: started by each step with their output in a log.
# Started by a test's program instead, they would hold that test's output
# open, and ctest would wait for them until its timeout.
prefix_up() {
  wineserver -p 300 </dev/null >/dev/null 2>&1 || true
  wine wineboot </dev/null >>"$B/wine-services.log" 2>&1 || fail "wineboot: $(tail -20 "$B/wine-services.log")"
}

case "$STEP" in
build)
  werror=${1:-OFF} launcher=${2:-}
  t0=$(date +%s)
  mkdir -p "$B"
  # The first start of a prefix takes most of a minute, mostly waiting: made
  # beside the build, once; a server that outlives the steps between tests,
  # its output away from ctest's pipes.
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    (wine wineboot --init >"$B/wineboot.log" 2>&1; echo $? >"$B/wineboot.rc") &
    boot=$!
  fi
  cmake -S "$SRC" -B "$B" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$SRC/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPOTENCOR_WERROR="$werror" \
    ${launcher:+-DCMAKE_CXX_COMPILER_LAUNCHER="$launcher"} >"$B/configure.log" 2>&1 \
    || { cat "$B/configure.log"; exit 1; }
  cmake --build "$B" --target all zip
  t1=$(date +%s)
  if [ -n "${boot:-}" ]; then
    wait "$boot"
    [ "$(cat "$B/wineboot.rc")" = 0 ] || { echo "wineboot failed:"; cat "$B/wineboot.log"; exit 1; }
  fi
  prefix_up
  echo "built in $((t1 - t0)) s; Wine prefix ready after $(($(date +%s) - t0)) s"
  ;;

unit)
  prefix_up
  for t in core_tests check_tests; do
    win "$B/tests/win64/$t.exe" --gtest_brief=1 </dev/null >"$B/$t.log" 2>&1 || fail "$t: $(tail -40 "$B/$t.log")"
    tail -3 "$B/$t.log" | tr -d '\r'
  done
  ;;

digits)
  prefix_up
  linux=$1
  "$linux" >"$B/digits.linux"
  win "$B/tests/win64/potencor_digits.exe" | tr -d '\r' >"$B/digits.win64" # a plain printf: CR LF
  tail -1 "$B/digits.linux"
  [ "$(wc -l <"$B/digits.linux")" -gt 1000 ] || fail "digits: too few columns: $(cat "$B/digits.linux")"
  diff "$B/digits.linux" "$B/digits.win64" >"$B/digits.diff" \
    || fail "the builds differ (potencor_digits --column DX shows a column in full): $(head -20 "$B/digits.diff")"
  ;;

cli)
  prefix_up
  linux=$1 digits=$2
  T=$(mktemp -d /tmp/potencor-win64-cli.XXXXXX)
  trap 'rm -rf "$T"' EXIT
  python3 "$SRC/tests/win64/class_folder.py" "$digits" "$T/группа-101"
  cd "$T"
  # compare NAME ARGS...: the same standard output, messages and exit status.
  compare() {
    local name=$1 lrc=0 wrc=0
    shift
    "$linux" "$@" >"$T/l.out" 2>"$T/l.err" </dev/null || lrc=$?
    win "$B/check/potencor-check.exe" "$@" >"$T/w.out" 2>"$T/w.err" </dev/null || wrc=$?
    [ -s "$T/l.out" ] || [ -s "$T/l.err" ] || fail "$name: no output at all from Linux"
    [ "$lrc" = "$wrc" ] || fail "$name: exit $wrc on Windows, $lrc on Linux"
    # Byte for byte: no CR added before a LF either.
    for s in out err; do
      cmp -s "$T/l.$s" "$T/w.$s" || fail "$name: std$s differs: $(diff "$T/l.$s" "$T/w.$s" | cat -A | head -20)"
    done
    echo "$name: exit $lrc, $(wc -l <"$T/l.out") lines, the same"
  }
  compare "class folder" группа-101
  compare "recursive" -r группа-101
  compare "csv" --format csv -r группа-101
  compare "json" --format json -r группа-101
  compare "forced ANSI" --encoding windows-1251 -r группа-101
  compare "forced UTF-7" --encoding UTF-7 группа-101/ковалёв.txt группа-101/utf7.txt
  compare "files and a missing one" группа-101/иванов.txt группа-101/нет.txt группа-101/петров.txt
  compare "no input" ; compare "bad option" --frobnicate группа-101
  compare "version" --version
  # A Russian spreadsheet's CSV: Wine takes the user's locale from Linux's.
  mkdir -p "$T/locale"
  localedef -i ru_RU -f UTF-8 "$T/locale/ru_RU.UTF-8" 2>"$T/localedef" || fail "localedef: $(cat "$T/localedef")"
  LOCPATH=$T/locale LC_ALL=ru_RU.UTF-8 compare "csv in Russian" --format csv -r группа-101
  grep -q ';2,[0-9]*;' "$T/w.out" || fail "csv in Russian: no decimal commas: $(head -5 "$T/w.out")"
  # The class report: Windows replaces the one Linux wrote, with the same bytes.
  compare "html" -r --html отчёт.html группа-101
  mv отчёт.html windows.html
  "$linux" -r --html linux.html группа-101 >/dev/null 2>&1 </dev/null || true
  grep -q '<svg' windows.html && cmp -s linux.html windows.html \
    || fail "html: the reports differ: $(cmp linux.html windows.html 2>&1)"
  compare "html into a missing folder" --html нет/отчёт.html группа-101/иванов.txt
  # On a terminal they would differ on purpose: colours, and --plot.
  win "$B/check/potencor-check.exe" --help >"$T/help"
  grep -q -- "--plot FILE.png    not available in this build" "$T/help" && grep -q -- "--html FILE.html" "$T/help" \
    || fail "help: $(cat "$T/help")"
  got=0
  win "$B/check/potencor-check.exe" --plot map.png группа-101 >"$T/out" 2>"$T/err" || got=$?
  [ "$got" = 2 ] && grep -q "this build cannot draw charts" "$T/err" || fail "--plot: exit $got: $(cat "$T/err")"
  got=0
  win "$B/check/potencor-check.exe" --equipotentials группа-101 >"$T/out" 2>"$T/err" || got=$?
  [ "$got" = 2 ] && grep -q "this build cannot draw charts" "$T/err" || fail "--equipotentials: exit $got: $(cat "$T/err")"
  grep -q $'\x1b' "$T/w.out" && fail "colour into a file"
  ;;

zip)
  prefix_up
  zip=$(ls "$B"/potencor-check-*-win64.zip)
  T=$(mktemp -d /tmp/potencor-win64-zip.XXXXXX)
  trap 'rm -rf "$T"' EXIT
  python3 - "$zip" "$T" <<'PY' || fail "zip: contents"
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
assert z.testzip() is None
assert sorted(z.namelist()) == ["LICENSE.txt", "potencor-check.exe", "potencor-check.txt"], z.namelist()
for name in ["LICENSE.txt", "potencor-check.txt"]:
    text = z.read(name)
    lines = text.split(b"\n")
    assert len(lines) > 20 and all(l.endswith(b"\r") for l in lines[:-1]), name + ": not CR LF throughout"
    assert b"\x08" not in text and b"\x1b" not in text, name + ": overstriking or escapes"
manual = z.read("potencor-check.txt").decode("ascii")
assert "potencor-check" in manual and "--encoding" in manual.replace("\u2010", "-"), manual[:400]
z.extractall(sys.argv[2])
PY
  # Only DLLs every Windows since 7 has, none of MinGW's runtime. A fixed list:
  # a Wine prefix's system32 is still being filled while the first programs run.
  x86_64-w64-mingw32-objdump -p "$T/potencor-check.exe" | sed -n 's/.*DLL Name: //p' >"$T/dlls"
  [ -s "$T/dlls" ] || fail "objdump: no imports listed"
  while read -r dll; do
    case "${dll,,}" in
    libgcc* | libstdc++* | libwinpthread* | zlib*) fail "imports MinGW's $dll" ;;
    kernel32.dll | user32.dll | gdi32.dll | advapi32.dll | shell32.dll | ole32.dll | msvcrt.dll | ws2_32.dll | bcrypt.dll) ;;
    *) fail "imports $dll, not a DLL every Windows has" ;;
    esac
  done <"$T/dlls"
  echo "imports: $(tr '\n' ' ' <"$T/dlls")"
  # The program alone in its folder runs.
  ls "$T" | grep -qi '\.dll$' && fail "DLLs in the zip"
  v=$(cd "$T" && win ./potencor-check.exe --version | tr -d '\r') || fail "the zipped program does not start"
  [ "$v" = "potencor-check $(sed -n 's/^project(potencor VERSION \([0-9.]*\).*/\1/p' "$SRC/CMakeLists.txt")" ] \
    || fail "zipped --version: $v"
  echo "$(basename "$zip"): $(stat -c %s "$zip") bytes, $v"
  ;;

stop)
  wineserver -k 2>/dev/null || true
  ;;
esac
[ "$fails" = 0 ] && echo "win64 $STEP: passed"
exit "$fails"
