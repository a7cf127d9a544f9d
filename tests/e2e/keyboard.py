"""A student without a mouse: the warning answered with Enter, measurements
taken with the arrows, Shift+arrows and Enter (snapping on for some, one with
measurement mode off), the check boxes toggled with Tab and Space, Ctrl+Z on
the chart, and the protocol saved through the dialog, not one pointer event
among them. The file must equal, byte for byte, the one that clicks on the
same pixels give in a second run of the program.

usage: keyboard.py BINARY
"""
import os
import subprocess
import sys
import tempfile

from student import Desktop, Program, SAVE_BUTTON, UNDO_BUTTON, check, run_scenarios, wait_until

CHECKBOX_SNAP = (15, 759)     # "фикисированный сдвиг 0,5 см"
CHECKBOX_MEASURE = (447, 759)  # "Режим измерения"


def probe_at(p):
    """The probe's pixel as drawn: the row and the column its blue arms lie
    on (the chart's face, its grid, points and outlines hold no such blue).
    The focus frame, the chart's outer two pixels, is left out."""
    sx, sy = p.screen((0, 0))
    pixel = p.x.screenshot(sx, sy, 1000, 700)
    rows, columns = {}, {}
    for y in range(2, 698):
        for x in range(2, 998):
            r, g, b = pixel(sx + x, sy + y)
            if b > 150 and r < 120 and b - r > 80:
                rows[y] = rows.get(y, 0) + 1
                columns[x] = columns.get(x, 0) + 1
    # Two arms of 8 px each along the probe's row and column, 1 px across elsewhere.
    row = [y for y, n in rows.items() if n >= 12]
    column = [x for x, n in columns.items() if n >= 12]
    return (column[0], row[0]) if len(row) == 1 and len(column) == 1 else None


class Keyboard:
    """The keyboard run: every action a key, every measurement's pixel read
    off the screen where the probe is drawn."""

    def __init__(self, p):
        self.p = p
        self.measured = []  # (pixel, expected pointer action) in order

    def keys(self, *combos, times=1):
        for _ in range(times):
            for c in combos:
                self.p.x.key(c)
        self.p.x.ping(self.p.main)

    def probe(self):
        return wait_until("the probe drawn on the chart", lambda: probe_at(self.p))

    def measure(self, expected=None):
        at = self.probe()
        if expected is not None:
            check(at == expected, "the probe is drawn at %s, not at %s" % (at, expected))
        self.keys("Return")
        wait_until("the point measured at %s to show" % (at,), lambda: self.p.red_near(at))
        return at


def run_keyboard(desk, binary, path):
    state = tempfile.mkdtemp(prefix="state-", dir=desk.tmp)
    pointer = desk.x.root.query_pointer()
    p = Program(desk, binary, state)  # the warning goes with Return
    k = Keyboard(p)
    actions = []
    # The chart has the keyboard first. Home and Page Down: the plot's
    # lower-left corner, which measures (0, 0).
    k.keys("Home", "Next")
    actions.append(("measure", k.measure((27, 678))))
    # 20 px right, 30 px up.
    k.keys("Right", times=20)
    k.keys("Up", times=30)
    actions.append(("measure", k.measure((47, 648))))
    # Snapping on: Tab to the protocol, Tab to the check box, Space, back.
    k.keys("Tab", "Tab", "space", "shift+Tab", "shift+Tab")
    actions.append(("toggle", CHECKBOX_SNAP))
    # From (889, 151), at 38.396 cm x 23.353 cm: Shift+Left to 38.0 cm at
    # column 27 + 853.115, Shift+Down to 23.0 cm at row 678 - 519.033.
    k.keys("End", "Prior")
    k.keys("Left", times=100)
    k.keys("Down", times=150)
    k.keys("shift+Left", "shift+Down")
    actions.append(("measure", k.measure((880, 159))))
    # Measurement mode off (Shift+Tab from the chart: the last control), Enter
    # measures nothing; then on again.
    k.keys("shift+Tab", "space", "Tab")
    actions.append(("toggle", CHECKBOX_MEASURE))
    k.keys("Home", "Next")
    k.keys("Right", times=200)
    k.keys("Up", times=200)
    off = k.probe()
    check(off == (227, 478), "the probe is drawn at %s, not at (227, 478)" % (off,))
    k.keys("Return")
    actions.append(("click", off))
    k.keys("shift+Tab", "space", "Tab")
    actions.append(("toggle", CHECKBOX_MEASURE))
    # A snapped point, then Ctrl+Z on the chart takes it back.
    k.keys("Home", "Prior")
    k.keys("Right", times=400)
    k.keys("Down", times=300)
    k.keys("shift+Right", "shift+Down")  # snapping moves a point onto the grid in both directions
    undone = k.measure()
    actions.append(("measure", undone))
    k.keys("ctrl+z")
    wait_until("the undone point to leave the chart", lambda: not p.red_near(undone))
    actions.append(("click", UNDO_BUTTON))
    k.keys("Home", "Next")
    k.keys("Right", times=600)
    k.keys("Up", times=500)
    k.keys("shift+Up", "shift+Left")
    actions.append(("measure", k.measure()))
    # Snapping off again, and one more plain point.
    k.keys("Tab", "Tab", "space", "shift+Tab", "shift+Tab")
    actions.append(("toggle", CHECKBOX_SNAP))
    k.keys("End", "Next")
    k.keys("Left", times=50)
    k.keys("Up", times=80)
    actions.append(("measure", k.measure((939, 598))))
    # Save: Tab from the chart to the protocol, the two check boxes' row and the
    # buttons, "Сохранить данные в файл" the sixth; Space presses it.
    k.keys("Tab", times=6)
    p.x.key("space")
    p.fill_file_dialog(path)
    wait_until("the protocol file", lambda: os.path.exists(path) and os.path.getsize(path) > 0)
    after = desk.x.root.query_pointer()
    check((after.root_x, after.root_y) == (pointer.root_x, pointer.root_y), "the pointer moved")
    p.kill()
    return actions


def run_pointer(desk, binary, path, actions):
    """The same pixels and controls, clicked."""
    p = Program(desk, binary, tempfile.mkdtemp(prefix="state-", dir=desk.tmp))
    for kind, at in actions:
        if kind == "measure":
            p.measure(at)
        else:
            p.click(at)
    p.save_as(path)
    p.kill()


def scenario_keyboard_only():
    keyboard_file = os.path.join(DESK.tmp, "keyboard.txt")
    pointer_file = os.path.join(DESK.tmp, "pointer.txt")
    actions = run_keyboard(DESK, BINARY, keyboard_file)
    print("measured and clicked:", actions, flush=True)
    run_pointer(DESK, BINARY, pointer_file, actions)
    with open(keyboard_file, "rb") as f:
        by_keys = f.read()
    with open(pointer_file, "rb") as f:
        by_clicks = f.read()
    print(by_keys.decode("cp1251"), flush=True)
    check(by_keys == by_clicks, "the keys' protocol %r differs from the clicks' %r" % (by_keys, by_clicks))
    lines = by_keys.split(b"\r\n")
    check(len(lines) == 6 and lines[-1] == b"", "not five lines: %r" % by_keys)
    # The plot's corner, as the measure test clicks it.
    check(lines[0] == b"0: x=0.000\xf1\xec y=0.000\xf1\xec phi=4.672 \xc2", "first line %r" % lines[0])
    # Snapped to the grid lines the probe went to.
    check(lines[2].startswith(b"2: x=38.000\xf1\xec y=23.000\xf1\xec"), "third line %r" % lines[2])


SCENARIOS = {"keyboard_only": scenario_keyboard_only}


def main():
    global BINARY, DESK
    BINARY = os.path.abspath(sys.argv[1])
    DESK = Desktop()
    try:
        return run_scenarios("keyboard", SCENARIOS, list(SCENARIOS))
    finally:
        DESK.close()


if __name__ == "__main__":
    sys.exit(main())
