#!/usr/bin/env bash
# potencor-check's CSV opened in a real spreadsheet on a Russian desktop:
# LibreOffice Calc with Russian settings (decimal comma) and formulas
# evaluated on import, as Excel does. The cells read back must hold the
# numbers as numbers and every name as text, the ones that look like
# formulas included. One conversion.
# Usage: calc_test.sh path/to/potencor-check path/to/make_protocol
set -euo pipefail
CHECK=$(realpath "$1")
MAKE=$(realpath "$2")
command -v soffice >/dev/null || { echo "FAIL: soffice is not installed (libreoffice-calc-nogui)" >&2; exit 1; }
T=$(mktemp -d /tmp/potencor-check-calc.XXXXXX)
trap 'rm -rf "$T"' EXIT

mkdir -p "$T/class" "$T/locale" "$T/calc"
localedef -i ru_RU -f UTF-8 "$T/locale/ru_RU.UTF-8"
cd "$T/class"
# Names a student may choose, a wrong potential in each (a 1 put before it).
names=('=HYPERLINK("x","y").txt' '+7 999.txt' '-2+3.txt' '@SUM(1+1).txt' 'иванов.txt')
seed=1
for name in "${names[@]}"; do
  "$MAKE" $seed 8 | sed '2s/phi=/phi=1/' >"$name"
  seed=$((seed + 1))
done
run_ru() { env -u LANG -u LC_NUMERIC LOCPATH="$T/locale" LC_ALL=ru_RU.UTF-8 "$CHECK" "$@"; }
run_ru --format csv -- "${names[@]}" >"$T/calc/report.csv" || [ $? = 1 ]
run_ru --format json -- "${names[@]}" >"$T/report.json" || [ $? = 1 ]
# Under the same settings a bare formula must come back as a formula, or
# the test would see nothing.
printf '\xef\xbb\xbfa;b\r\n=1+1;x\r\n' >"$T/calc/control.csv"

# Separator ';', quote '"', UTF-8, from line 1, Russian (1049), quoted fields
# not forced to text, special numbers detected, formulas evaluated.
(cd "$T/calc" && timeout 150 soffice --headless --norestore "-env:UserInstallation=file://$T/profile" \
  --infilter="CSV:59,34,76,1,,1049,false,true,false,false,false,-1,true" \
  --convert-to fods --outdir "$T/calc" report.csv control.csv >"$T/soffice.log" 2>&1) ||
  { echo "FAIL: soffice: $(cat "$T/soffice.log")" >&2; exit 1; }

python3 - "$T/calc" "$T/report.json" "${names[@]}" <<'PY'
import json, sys
import xml.etree.ElementTree as ET

T = "{urn:oasis:names:tc:opendocument:xmlns:table:1.0}"
O = "{urn:oasis:names:tc:opendocument:xmlns:office:1.0}"
X = "{urn:oasis:names:tc:opendocument:xmlns:text:1.0}"

def rows(path):
    out = []
    for row in ET.parse(path).iter(T + "table-row"):
        cells = []
        for c in row.findall(T + "table-cell"):
            repeat = min(int(c.get(T + "number-columns-repeated", "1")), 20)
            text = "\n".join("".join(p.itertext()) for p in c.findall(X + "p"))
            cells += [{"type": c.get(O + "value-type"), "value": c.get(O + "value"),
                       "formula": c.get(T + "formula"), "text": text}] * repeat
        if any(c["type"] for c in cells):
            out.append(cells)
    return out

calc, names = sys.argv[1], sys.argv[3:]
control = rows(calc + "/control.fods")
assert control[1][0]["formula"], ("formulas are not evaluated on import: the test proves nothing", control)

sheet = rows(calc + "/report.fods")
header = [c["text"] for c in sheet[0][:8]]
assert header == ["file", "line", "severity", "kind", "message", "text", "model_min_V", "model_max_V"], header
doc = json.load(open(sys.argv[2], encoding="utf-8"))
wanted = {}
for f in doc["files"]:
    for w in f["findings"]:
        if w["kind"] == "wrong potential":
            wanted[f["path"]] = (w["line"], w["model_V"]["min"], w["model_V"]["max"])
assert sorted(wanted) == sorted(names), wanted

seen = set()
for cells in sheet[1:]:
    for c in cells:
        assert not c["formula"], ("a formula", cells)
    name = cells[0]
    assert name["type"] == "string", cells
    # The name as text: the apostrophe put before a would-be formula stays.
    shown = name["text"][1:] if name["text"][:1] == "'" else name["text"]
    assert shown in names, (name, names)
    assert (name["text"][:1] == "'") == (shown[0] in "=+-@"), name
    if cells[3]["text"] != "wrong potential":
        continue
    seen.add(shown)
    line, lo, hi = wanted[shown]
    assert cells[1]["type"] == "float" and float(cells[1]["value"]) == line, cells[1]
    for c, v in ((cells[6], lo), (cells[7], hi)):
        assert c["type"] == "float", ("not a number", c)
        assert abs(float(c["value"]) - v) < 1e-8, (c, v)
assert seen == set(names), seen
print("Calc read %d rows: numbers as numbers, %d names as text" % (len(sheet) - 1, len(names)))
PY
echo "potencor-check's CSV in LibreOffice Calc: passed"
