#!/usr/bin/env bash
# potencor-check on a class, as a teacher runs it: copied protocols found,
# the CSV a spreadsheet of the user's language reads, a terminal and a JSON
# reader given nothing they would act on, the HTML report and the plots'
# equipotentials written. Protocols come from the program's own core.
# Usage: class_test.sh path/to/potencor-check path/to/make_protocol
set -euo pipefail
CHECK=$1
MAKE=$2
source "$(dirname "${BASH_SOURCE[0]}")/../check/cli_lib.sh"

# ---- Copies ----
# Eight students, twenty random whole-pixel clicks each; Sidorov copied s3
# (commas instead of full stops, his name typed on top).
mkdir -p "$T/class"
for i in 1 2 3 4 5 6 7 8; do "$MAKE" $((100 + i)) 20 >"$T/class/s$i.txt"; done
{ printf 'Сидоров С.\r\n'; "$MAKE" 103 20 ,; } >"$T/class/sidorov.txt"

run "copies are warnings" 0 "$T/class"
grep -E "^$T/class/sidorov.txt:0: warning: suspected copy: shares ([0-9]+) of \1 measured points with $T/class/s3.txt\$" \
  "$T/out" >"$T/pair" || fail "copies: no whole copy named for sidorov: $(cat "$T/out")"
shared=$(sed -E 's/.*shares ([0-9]+) of.*/\1/' "$T/pair")
[ "${shared:-0}" -ge 14 ] || fail "copies: only ${shared:-no} of 20 points counted"
expect_out "copies" "$T/class/s3.txt:0: warning: suspected copy: shares $shared of $shared measured points with $T/class/sidorov.txt"
[ "$(grep -c "suspected copy: shares" "$T/out")" = 2 ] || fail "copies: a pair reported more than once, or another pair: $(cat "$T/out")"
# The table: both at the top, under their own status.
sed -n '/^status/,$p' "$T/out" | sed -n '2,3p' >"$T/top"
grep -q "^suspected copy .*$T/class/s3.txt\$" "$T/top" && grep -q "^suspected copy .*$T/class/sidorov.txt\$" "$T/top" ||
  fail "copies: not first in the table: $(cat "$T/out")"

run "strict" 1 --strict "$T/class"
expect_out "strict" "$T/class/s3.txt:0: error: suspected copy: shares $shared of $shared"

run "copies in csv" 0 --csv-separator , --format csv "$T/class"
expect_out "copies in csv" "$T/class/s3.txt,0,warning,suspected copy,shares $shared of $shared measured points with $T/class/sidorov.txt,,,"
expect_out "copies in csv" "$T/class/sidorov.txt,,,summary,\"suspected copy: 21 lines, 20 ok"

run "copies in json" 0 --format json "$T/class"
python3 - "$T/out" "$T/class" "$shared" <<'PY' || fail "copies in json: $(head -c 1500 "$T/out")"
import json, sys
doc = json.load(open(sys.argv[1], encoding="utf-8"))
d, shared = sys.argv[2], int(sys.argv[3])
files = doc["files"]
assert [f["status"] for f in files[:2]] == ["suspected copy"] * 2, files
assert all(f["status"] == "ok" for f in files[2:]), files
by = {f["path"]: f for f in files}
assert by[d + "/s3.txt"]["suspected_copies"] == [{"with": d + "/sidorov.txt", "shared_points": shared, "of": shared}]
assert by[d + "/sidorov.txt"]["suspected_copies"] == [{"with": d + "/s3.txt", "shared_points": shared, "of": shared}]
assert by[d + "/s1.txt"]["suspected_copies"] == []
PY

# ---- CSV in the user's language ----
# A Russian locale of our own, so that the test needs none installed.
mkdir -p "$T/locale"
localedef -i ru_RU -f UTF-8 "$T/locale/ru_RU.UTF-8" 2>"$T/localedef" ||
  { fail "localedef: $(cat "$T/localedef")"; exit "$fails"; }
printf '%s\r\n' "0: x=21.425см y=14.978см phi=6.400 В" >"$T/wrong.txt"
csv_head() { head -c 3 "$T/out" | od -An -tx1 | tr -d ' '; }
ru() { env -u LC_ALL -u LC_NUMERIC -u LANG LOCPATH="$T/locale" "$@"; }
for case in "LC_ALL=ru_RU.UTF-8" "LANG=ru_RU.UTF-8" "LC_NUMERIC=ru_RU.UTF-8 LANG=C"; do
  got=0
  ru $case "$CHECK" --format csv "$T/wrong.txt" >"$T/out" 2>"$T/err" || got=$?
  [ "$got" = 1 ] || fail "csv $case: exit $got: $(cat "$T/err")"
  [ "$(csv_head)" = efbbbf ] || fail "csv $case: no byte-order mark"
  expect_out "csv $case" "file;line;severity;kind;message;text;model_min_V;model_max_V"
  grep -qE ";1;error;wrong potential;phi=6\.400, the model gives 6\.300 .*;6,2[0-9]+;6,3[0-9]+.\$" "$T/out" ||
    fail "csv $case: no decimal commas: $(cat "$T/out")"
done
ru LANG=ru_RU.UTF-8 LC_NUMERIC=C "$CHECK" --format csv "$T/wrong.txt" >"$T/out" 2>&1 || true
expect_out "csv LC_NUMERIC over LANG" "file,line,severity"
grep -qE ",6\.2[0-9]+,6\.3[0-9]+.\$" "$T/out" || fail "csv LC_NUMERIC=C: $(cat "$T/out")"
ru LC_ALL=ru_RU.UTF-8 "$CHECK" --format csv --csv-separator , "$T/wrong.txt" >"$T/out" 2>&1 || true
[ "$(csv_head)" = 66696c ] || fail "csv forced commas: starts with $(csv_head)"
expect_out "csv forced commas" "file,line,severity"
ru LC_ALL=C "$CHECK" --format csv --csv-separator ';' "$T/wrong.txt" >"$T/out" 2>&1 || true
[ "$(csv_head)" = efbbbf ] || fail "csv forced semicolons: no byte-order mark"
expect_out "csv forced semicolons" "file;line"
run "csv bad separator" 2 --format csv --csv-separator tab "$T/wrong.txt"
# The messages keep their numbers as they are, whatever the locale.
ru LC_ALL=ru_RU.UTF-8 "$CHECK" "$T/wrong.txt" >"$T/out" 2>&1 || true
expect_out "text in a Russian locale" "(6.2998 to 6.3002 V over"

# ---- Names and lines a student chose ----
# The file names retitle the terminal, clear it and write its clipboard
# (OSC 52); a line does the same with C1 controls, which a protocol's text
# may hold; one name is not UTF-8 at all.
mkdir -p "$T/nasty"
"$MAKE" 7 6 >"$T/nasty/$(printf '\033]0;pwned\007')title.txt"
"$MAKE" 8 6 >"$T/nasty/$(printf '\033[2J\033[H')clear.txt"
"$MAKE" 9 6 >"$T/nasty/$(printf '\033]52;c;cm0gLXJmIH4K\007')clip.txt"
"$MAKE" 10 6 >"$T/nasty/$(printf 'bad\377\376')name.txt"
{ printf '\xc2\x9b2J\xc2\x9d52;c;cm0gLXJmIH4K\xc2\x9c \xe2\x80\xae<img src=x onerror=alert(1)>\r\n'; "$MAKE" 11 6; } \
  >"$T/nasty/c1.txt"
printf '\033[31m\000binary' >"$T/nasty/$(printf '\033]0;unreadable\007').txt"

# inert FILE: nothing but printable text, line feeds and, on a terminal, our
# own colours (ESC [ digits m) and CR LF line ends.
inert() {
  python3 - "$1" <<'PY'
import re, sys
data = open(sys.argv[1], "rb").read()
data = re.sub(rb"\x1b\[[0-9;]*m", b"", data).replace(b"\r\n", b"\n")
bad = [i for i, b in enumerate(data) if (b < 0x20 and b != 0x0A) or b == 0x7F]
text = data.decode("utf-8")  # raises on bytes that are not UTF-8
c1 = [i for i, ch in enumerate(text) if 0x80 <= ord(ch) <= 0x9F or ch in "\u202a\u202b\u202c\u202d\u202e\u2066\u2067\u2068\u2069"]
assert not bad and not c1, (bad[:5], c1[:5], data[:300])
PY
}
run "nasty names" 2 "$T/nasty"
inert "$T/out" || fail "nasty names: stdout not inert"
inert "$T/err" || fail "nasty names: stderr not inert"
expect_out "nasty names" '\x1b]0;pwned\x07title.txt: ok'
expect_out "nasty names" '\x1b]52;c;cm0gLXJmIH4K\x07clip.txt: ok'
expect_out "nasty names" 'bad\xff\xfename.txt: ok'
expect_out "nasty names" '    \u009b2J\u009d52;c;cm0gLXJmIH4K\u009c \u202e<img src=x onerror=alert(1)>'
grep -qF '\x1b]0;unreadable\x07.txt: binary data at byte 0' "$T/err" || fail "nasty names: stderr: $(cat "$T/err")"
if command -v script >/dev/null; then
  # A real terminal, colours on.
  script -qec "$CHECK $T/nasty" /dev/null >"$T/tty" 2>&1 || true
  grep -q $'\x1b\[32m' "$T/tty" || fail "terminal: no colours at all: $(head -c 300 "$T/tty")"
  inert "$T/tty" || fail "terminal: not inert"
fi
for format in csv json; do
  run "nasty names $format" 2 --format $format "$T/nasty"
  inert "$T/out" || fail "nasty names $format: not inert"
done
python3 -m json.tool "$T/out" >/dev/null 2>"$T/jsonerr" || fail "json: not valid: $(cat "$T/jsonerr")"

# ---- The HTML report and the plots' equipotentials ----
run "html" 0 --html "$T/report.html" "$T/class"
grep -q '<!DOCTYPE html>' "$T/report.html" || fail "html: no page written"
grep -qF 'measured points with <a href="#f' "$T/report.html" || fail "html: the copy's partner not linked"
run "html nowhere" 2 --html "$T/missing/report.html" "$T/class"
grep -qF "Cannot create file" "$T/err" || fail "html nowhere: $(cat "$T/err")"
[ -e "$T/missing" ] && fail "html nowhere: made the folder"

if [ "${3:-plots}" = plots ]; then
  run "plot plain" 0 --plot "$T/plain.png" "$T/class/s1.txt"
  run "plot equipotentials" 0 --equipotentials --plot "$T/lines.png" "$T/class/s1.txt"
  # The lines' blue lies on the plot's white only in the second.
  blue() { convert "$1" -depth 8 rgb:- | python3 -c '
import sys
d = sys.stdin.buffer.read()
print(sum(1 for i in range(0, len(d), 3) if d[i + 2] > 150 and d[i + 2] - d[i] > 50 and d[i + 1] > d[i]))'; }
  plain=$(blue "$T/plain.png")
  lines=$(blue "$T/lines.png")
  [ "$lines" -gt $((plain + 3000)) ] || fail "plot equipotentials: $lines blue pixels against $plain without the lines"
fi

[ "$fails" = 0 ] && echo "all potencor-check class checks passed"
exit "$fails"
