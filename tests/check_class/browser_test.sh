#!/usr/bin/env bash
# potencor-check's HTML report in a real browser (headless Chromium, no
# network): the page loads from a folder of its own, shows the table and the
# charts, and nothing a student put in a file name or a protocol line runs or
# becomes an element. One load for the DOM, one for a screenshot.
# Usage: browser_test.sh path/to/potencor-check path/to/make_protocol
set -euo pipefail
CHECK=$(realpath "$1")
MAKE=$(realpath "$2")
BROWSER=$(command -v chromium || command -v chromium-browser || true)
[ -n "$BROWSER" ] || { echo "FAIL: chromium is not installed" >&2; exit 1; }
T=$(mktemp -d /tmp/potencor-check-browser.XXXXXX)
trap 'rm -rf "$T"' EXIT
fails=0
fail() { echo "FAIL: $*" >&2; fails=$((fails + 1)); }

# Each injection would leave a mark on the page if it ran.
mkdir -p "$T/class" "$T/usb"
"$MAKE" 1 30 >"$T/class/ivanov.txt"
"$MAKE" 2 30 | sed '3s/phi=/phi=1/; 7s/phi=/phi=1/' >"$T/class/petrov.txt"
{ printf '%s\r\n' '<script>document.documentElement.setAttribute("data-injected","script")</script>'; "$MAKE" 3 30; } \
  >"$T/class/sidorov.txt"
"$MAKE" 3 30 , | sed '5s/phi=/phi=1/' >"$T/class/<img src=x onerror=document.documentElement.setAttribute('data-injected','img')>.txt"
{ printf '%s\r\n' '"><svg onload=document.documentElement.setAttribute("data-injected","svg")>'; "$MAKE" 4 30; } \
  >"$T/class/smirnova.txt"
got=0
"$CHECK" --html "$T/usb/report.html" "$T/class" >/dev/null 2>"$T/err" || got=$?
[ "$got" = 1 ] || fail "potencor-check: exit $got: $(cat "$T/err")"

browse() {
  # A profile of its own, no network, no first-run work; as root the sandbox
  # cannot start.
  timeout 90 "$BROWSER" --headless --no-sandbox --disable-gpu --no-first-run --no-default-browser-check \
    --user-data-dir="$T/profile" --proxy-server=127.0.0.1:9 --proxy-bypass-list='<-loopback>' \
    --hide-scrollbars "$@" "file://$T/usb/report.html" 2>>"$T/browser.log"
}
browse --dump-dom >"$T/dom.html" || fail "dump-dom: $(tail -5 "$T/browser.log")"
python3 - "$T/dom.html" <<'PY' || fail "the page's DOM: $(head -c 600 "$T/dom.html")"
import sys
from html.parser import HTMLParser

class Page(HTMLParser):
    def __init__(self):
        super().__init__()
        self.tags, self.attrs, self.text = [], [], []
    def handle_starttag(self, tag, attrs):
        self.tags.append(tag)
        self.attrs += [(tag, k, v) for k, v in attrs]
    def handle_data(self, data):
        self.text.append(data)

dom = open(sys.argv[1], encoding="utf-8").read()
p = Page()
p.feed(dom)
text = "".join(p.text)
assert "data-injected" not in [k for _, k, _ in p.attrs], "an injected script ran"
assert not {"script", "img", "iframe", "object", "embed"} & set(p.tags), set(p.tags)
assert not [a for a in p.attrs if a[1].startswith("on")], [a for a in p.attrs if a[1].startswith("on")]
# The injections are there, as text.
for shown in ['<script>document.documentElement.setAttribute("data-injected","script")</script>',
              "<img src=x onerror=document.documentElement.setAttribute('data-injected','img')>.txt",
              '"><svg onload=document.documentElement.setAttribute("data-injected","svg")>']:
    assert shown in text, shown
# The table worst first, a section and a chart per protocol, wrong points numbered.
assert p.tags.count("section") == 5, p.tags.count("section")
assert p.tags.count("svg") == 6, p.tags.count("svg")  # the shared drawing and five charts
rows = dom[dom.index("<tbody>"):dom.index("</tbody>")]
at = [rows.index("<td>%s</td>" % s) for s in ("suspected copy", "errors", "warnings", "ok")]
assert at == sorted(at), at
for line in (3, 7, 5):
    assert "<title>line %d: wrong potential</title>" % line in dom, line
PY

browse --window-size=1100,1600 --screenshot="$T/page.png" >/dev/null || fail "screenshot: $(tail -5 "$T/browser.log")"
# The first screen: the table, and the worst protocol's chart with its
# equipotentials' blue and the red of its wrong point.
count() { convert "$T/page.png" -alpha off -fuzz "$2" -fill white +opaque "$1" -fill black -opaque "$1" \
  -format '%[fx:round(w*h*(1-mean))]' info:; }
blue=$(count 'rgb(91,139,208)' 12%)
red=$(count 'rgb(212,0,0)' 10%)
[ "$blue" -gt 3000 ] && [ "$red" -gt 40 ] || fail "screenshot: $blue blue and $red red pixels: no chart in it"
echo "screenshot: $blue pixels of equipotentials, $red of wrong points"
if [ -n "${POTENCOR_KEEP_SCREENSHOT:-}" ]; then cp "$T/page.png" "$POTENCOR_KEEP_SCREENSHOT"; fi

[ "$fails" = 0 ] && echo "potencor-check's report in Chromium: passed"
exit "$fails"
