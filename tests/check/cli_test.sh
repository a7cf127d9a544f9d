#!/usr/bin/env bash
# potencor-check as a teacher runs it: exit status, messages, the three
# formats, directories, forced encodings and plots.
# Usage: cli_test.sh path/to/potencor-check [plots|no-plots]
set -euo pipefail
CHECK=$1
PLOTS=${2:-plots}
source "$(dirname "${BASH_SOURCE[0]}")/cli_lib.sh"

# Lines as the program writes them (CR LF), from whole-pixel clicks.
good() {
  printf '%s\r\n' \
    "0: x=21.425см y=14.978см phi=6.300 В" \
    "1: x=4.989см y=3.013см phi=4.325 В" \
    "2: x=9.354см y=14.978см phi=0.000 В" \
    "3: x=33.496см y=14.978см phi=12.600 В" \
    "4: x=31.982см y=15.288см phi=12.439 В" \
    "5: x=-0.980см y=10.015см phi=3.829 В" \
    "6: x=12.000см y=20.500см phi=3.400 В" \
    "7: x=39.999см y=28.006см phi=8.147 В"
}
mkdir -p "$T/class/group2" "$T/empty"
good >"$T/class/ivanov.txt"
good | sed 's/\./,/g' | iconv -f UTF-8 -t CP1251 >"$T/class/petrov.txt"
good | sed 's/phi=4.325/phi=4.335/' >"$T/class/group2/sidorov.txt"
good >"$T/class/notes.md"

run "all correct" 0 "$T/class"
expect_out "all correct" "ivanov.txt: ok: 8 lines, 8 ok, 0 wrong, 0 malformed, 0 other (UTF-8)"
expect_out "all correct" "petrov.txt: ok: 8 lines, 8 ok, 0 wrong, 0 malformed, 0 other (ANSI)"
grep -q "notes.md\|sidorov" "$T/out" && fail "all correct: looked beyond *.txt or into a subdirectory"

run "recursive" 1 -r "$T/class"
expect_out "recursive" "sidorov.txt:2: error: wrong potential: phi=4.335, the model gives 4.325"
expect_out "recursive" "total          24     23      1         0      0  3 files"
[ "$(grep -c 'sidorov' "$T/out")" -ge 3 ] || fail "recursive: sidorov not reported in full"
# Worst first in the table.
sed -n '/^status/,$p' "$T/out" | sed -n 2p | grep -q "sidorov" || fail "table: worst not first: $(cat "$T/out")"

run "unreadable goes on" 2 "$T/none.txt" "$T/class/ivanov.txt"
expect_err "unreadable goes on" "$T/none.txt: No such file or directory"
expect_out "unreadable goes on" "ivanov.txt: ok"

# Nothing is waited for: a FIFO (opening it waits for a writer), a link loop
# and a broken link are named, and the files after them are checked.
mkdir -p "$T/odd"
mkfifo "$T/odd/pipe.txt"
ln -s loop-b.txt "$T/odd/loop-a.txt"
ln -s loop-a.txt "$T/odd/loop-b.txt"
ln -s gone.txt "$T/odd/broken.txt"
good >"$T/odd/zz-good.txt"
run "fifo argument" 2 "$T/odd/pipe.txt" "$T/class/ivanov.txt"
expect_err "fifo argument" "$T/odd/pipe.txt: a FIFO or socket, not a file: not read"
expect_out "fifo argument" "ivanov.txt: ok"
run "odd entries in a folder" 2 "$T/odd"
expect_err "odd entries in a folder" "$T/odd/pipe.txt: a FIFO or socket, not a file: not read"
expect_err "odd entries in a folder" "$T/odd/loop-a.txt: Too many levels of symbolic links"
expect_err "odd entries in a folder" "$T/odd/loop-b.txt: Too many levels of symbolic links"
expect_err "odd entries in a folder" "$T/odd/broken.txt: No such file or directory"
expect_out "odd entries in a folder" "zz-good.txt: ok"

# A folder that cannot be read is named and fails the run, also with a wrong
# protocol hidden in it: never a success. Root reads every folder: as nobody.
if [ "$(id -u)" = 0 ] && id nobody >/dev/null 2>&1; then
  mkdir -p "$T/locked/closed/deeper"
  good >"$T/locked/ivanov.txt"
  good | sed 's/phi=4.325/phi=4.335/' >"$T/locked/closed/deeper/sidorov.txt"
  chmod 755 "$T" "$T/locked"
  chmod 700 "$T/locked/closed"
  got=0
  runuser -u nobody -- timeout 60 "$CHECK" -r "$T/locked" >"$T/out" 2>"$T/err" || got=$?
  [ "$got" = 2 ] || fail "unreadable folder: exit $got, expected 2; stderr: $(cat "$T/err")"
  expect_err "unreadable folder" "$T/locked/closed: Permission denied"
  expect_out "unreadable folder" "ivanov.txt: ok"
  chmod 700 "$T"
else
  echo "SKIP: an unreadable folder needs root, to run the checker as nobody" >&2
fi

# A reader that goes away ends the checker as it ends any filter (SIGPIPE),
# without a word: the program's own setting of that signal is not its.
for i in $(seq 0 3000); do printf '%d: x=1.000см y=1.000см phi=9.999 В\r\n' "$i"; done >"$T/wrong.txt"
set +e
"$CHECK" "$T/wrong.txt" 2>"$T/err" | head -c 100 >/dev/null
got=${PIPESTATUS[0]}
set -e
[ "$got" = 141 ] || fail "reader gone: exit $got, expected 141 (SIGPIPE); stderr: $(cat "$T/err")"
[ -s "$T/err" ] && fail "reader gone: messages: $(cat "$T/err")"

truncate -s 1G "$T/huge.txt"
run "sparse gigabyte" 2 "$T/huge.txt"
expect_err "sparse gigabyte" "huge.txt: 1.0 GB: too large for a protocol (the limit is 50 MB)"

head -c 3000 /dev/urandom >"$T/random.txt"
printf '\x00\x01binary' >>"$T/random.txt"
run "binary" 2 "$T/random.txt"
expect_err "binary" "not a text file"

: >"$T/blank.txt"
run "empty file" 1 "$T/blank.txt"
expect_out "empty file" "blank.txt:0: error: no measurements: empty file: no measurement line"

run "empty directory" 2 "$T/empty"
expect_err "empty directory" "no *.txt files"

run "forced encoding" 2 --encoding ASCII "$T/class/petrov.txt"
expect_err "forced encoding" "not valid ASCII at byte 11"
run "forced right encoding" 0 --encoding windows-1251 "$T/class/petrov.txt"

run "csv" 1 --format csv -r "$T/class"
head -1 "$T/out" | grep -qF "file,line,severity,kind,message,text,model_min_V,model_max_V" || fail "csv: header"
expect_out "csv" ",2,error,wrong potential,"
expect_out "csv" ',,,summary,"ok: 8 lines, 8 ok'

run "json" 1 --format json -r "$T/class"
python3 - "$T/out" <<'PY' || fail "json: $(head -c 800 "$T/out")"
import json, sys
doc = json.load(open(sys.argv[1], encoding="utf-8"))
files = doc["files"]
assert [f["status"] for f in files] == ["errors", "ok", "ok"], files
wrong = files[0]["findings"][0]
assert wrong["kind"] == "wrong potential" and wrong["line"] == 2, wrong
m = wrong["model_V"]
assert 4.3245 <= m["min"] <= m["at_point"] <= m["max"] < 4.3255, wrong
PY

# Colour only on a terminal.
grep -q $'\x1b' "$T/out" && fail "colour in a pipe"
if command -v script >/dev/null; then
  script -qec "$CHECK -r $T/class" /dev/null >"$T/tty" || true
  grep -q $'\x1b\[31m' "$T/tty" || fail "no colour on a terminal"
  NO_COLOR=1 script -qec "$CHECK -r $T/class" /dev/null >"$T/tty" || true
  grep -q $'\x1b\[' "$T/tty" && fail "colour despite NO_COLOR"
fi

run "bad option" 2 --frobnicate "$T/class"
expect_err "bad option" "unknown option '--frobnicate'"
run "bad format" 2 --format xml "$T/class"
run "no input" 2
run "help" 0 --help
expect_out "help" "Usage: potencor-check"

if [ "$PLOTS" = no-plots ]; then
  run "plot without Qt" 2 --plot "$T/one.png" "$T/class/ivanov.txt"
  expect_err "plot without Qt" "this build cannot draw charts"
  [ "$fails" = 0 ] && echo "all potencor-check command-line checks passed (no plots in this build)"
  exit "$fails"
fi

# Plots: the exact name for one input, one per input beside it for several.
run "plot one" 0 --plot "$T/one.png" "$T/class/ivanov.txt"
file "$T/one.png" | grep -q "PNG image data, 1000 x 700" || fail "plot one: $(file "$T/one.png")"

# The plots need Qt Gui only: no widgets anywhere among the libraries, and no
# X11 library of the checker's own (Debian's Qt Gui brings libX11 and libxcb
# with it, so they may show up below it, never as the checker's own needs).
ldd "$CHECK" >"$T/ldd" || fail "ldd: $(cat "$T/ldd")"
grep -q "libQt6Gui" "$T/ldd" || fail "ldd: no Qt Gui at all, is this the plotting build? $(cat "$T/ldd")"
grep -i "libQt6Widgets" "$T/ldd" && fail "the checker loads Qt Widgets"
readelf -d "$CHECK" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' >"$T/needed"
[ -s "$T/needed" ] || fail "readelf: no NEEDED entries in $CHECK"
grep -i "xcb\|X11\|Widgets" "$T/needed" && fail "the checker itself needs X11 or widgets: $(tr '\n' ' ' <"$T/needed")"

# No display of any kind and no platform chosen: it draws offscreen all the
# same, a whole PNG (every chunk's CRC right, the pixels all there).
got=0
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$CHECK" --plot "$T/nodisplay.png" "$T/class/ivanov.txt" \
  >"$T/out" 2>"$T/err" || got=$?
[ "$got" = 0 ] || fail "plot without a display: exit $got: $(cat "$T/err")"
[ -s "$T/err" ] && fail "plot without a display: messages: $(cat "$T/err")"
python3 - "$T/nodisplay.png" <<'PY' || fail "plot without a display: not a whole PNG"
import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
assert data[:8] == b"\x89PNG\r\n\x1a\n", "signature"
pos, chunks, idat = 8, [], b""
while pos < len(data):
    length, kind = struct.unpack(">I4s", data[pos:pos + 8])
    body = data[pos + 8:pos + 8 + length]
    (crc,) = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])
    assert zlib.crc32(kind + body) == crc, kind
    chunks.append(kind)
    idat += body if kind == b"IDAT" else b""
    pos += 12 + length
assert chunks[0] == b"IHDR" and chunks[-1] == b"IEND", chunks
width, height, depth, colour = struct.unpack(">IIBB", data[16:26])
assert (width, height) == (1000, 700), (width, height)
channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour]
assert len(zlib.decompress(idat)) == height * (1 + width * channels * depth // 8)
PY
run "plot into a missing directory" 2 -r --plot "$T/maps/map.png" "$T/class"
expect_err "plot into a missing directory" "map-ivanov.png: "
mkdir -p "$T/maps"
run "plot several" 1 -r --plot "$T/maps/map.png" "$T/class"
for name in map-ivanov map-petrov map-group2_sidorov; do
  file "$T/maps/$name.png" | grep -q "PNG image data" || fail "plot several: no $name.png: $(ls "$T/maps")"
done

[ "$fails" = 0 ] && echo "all potencor-check command-line checks passed"
exit "$fails"
