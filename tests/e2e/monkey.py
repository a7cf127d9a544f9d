"""A seeded stream of random user actions on the running program, with a
model of what each one must do to the protocol, checked whenever the protocol
is saved and at the end.

usage: monkey.py MAIN_WINDOW_ID APP_PID WORK_DIR
Environment:
  POTENCOR_MONKEY_SEED     the seed; the run's seed is always printed, and
                           setting it replays that run
  CI                       when set (and no seed is given), the seed is
                           CI_SEED below, so that a failure in CI replays
                           as it is; elsewhere it is random
  POTENCOR_MONKEY_ACTIONS  how many actions (default 5000)
  MONKEY_SEED, MONKEY_ACTIONS: older names of the two, still read
  E2E_TIMEOUT              the limit of every wait, in seconds (default 60)
"""
import os
import random
import re
import struct
import subprocess
import sys
import time
from collections import deque
from fractions import Fraction

from Xlib import X

from xdrive import Display, Timeout, wait_until

# Client-area rectangles (left, top, width, height), logical px = device px here.
CHART = (0, 0, 1000, 700)
MEMO = (1014, 32, 227, 738)
BUTTON3 = (615, 714, 185, 25)  # "Удалить последний элемент"
BUTTON4 = (615, 745, 185, 25)  # "Копировать график в буфер"
BUTTON5 = (815, 714, 185, 25)  # "Сохранить данные в файл"
BUTTON6 = (815, 745, 185, 25)  # "О программе"
CHECKBOX1 = (8, 751, 211, 17)  # snapping
CHECKBOX2 = (238, 751, 187, 17)  # point labels
CHECKBOX3 = (440, 751, 129, 17)  # measurement mode
READOUT = (0, 702, 600, 46)  # labels and bare window: clicks do nothing
MAIN_TITLE = "Потенкор"
ABOUT_TITLE = "Описание программы"
ERROR_TITLE = "Potencor"

DOUBLE_CLICK_GAP_S = 0.7  # Qt's interval is 400 ms
DOUBLE_CLICK_NEAR_PX = 8  # Qt's distance is 5 px

TYPABLE = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 .,:;=-+()"
PASTES = ["Привет", "строка 1\nстрока 2", "abc ★ def", "x=1,5 см\n", "\n", "Ёж"]
LINE = re.compile(r"^(-?\d+): x=(-?\d+\.\d{3})см y=(-?\d+\.\d{3})см phi=(-?\d+\.\d{3}) В$")
CI_SEED = 20250611

# The recovery journal: a header, then framed records (body length u32, CRC
# u32, type u8, body); the snapshot's body and a counter record's both start
# with the counter as an i32.
JOURNAL_HEADER_BYTES = 19
JOURNAL_FRAME_BYTES = 9
JOURNAL_SNAPSHOT, JOURNAL_COUNT = 1, 5
COUNT_CHECK_EVERY = 500  # actions


class Failure(Exception):
    pass


def journal_counts(folder):
    """The program's counter through the run as its recovery journal holds
    it, with the journal's inode; None while there is not exactly one."""
    names = [n for n in os.listdir(folder) if n.endswith(".journal")] if os.path.isdir(folder) else []
    if len(names) != 1:
        return None
    try:
        with open(os.path.join(folder, names[0]), "rb") as f:
            inode = os.fstat(f.fileno()).st_ino
            data = f.read()
    except FileNotFoundError:
        return None  # replaced just now
    counts, pos = [], JOURNAL_HEADER_BYTES
    while pos + JOURNAL_FRAME_BYTES <= len(data):
        length, _, kind = struct.unpack_from("<IIB", data, pos)
        if pos + JOURNAL_FRAME_BYTES + length > len(data):
            break  # still being written
        if kind in (JOURNAL_SNAPSHOT, JOURNAL_COUNT):
            counts.append(struct.unpack_from("<i", data, pos + JOURNAL_FRAME_BYTES)[0])
        pos += JOURNAL_FRAME_BYTES + length
    return inode, counts


def fixed3(q):
    """fixed3 of an exact rational: three decimals, a half away from zero."""
    sign = -1 if q < 0 else 1
    thousandths = (abs(q) * 1000 + Fraction(1, 2)).__floor__()
    if thousandths == 0:
        sign = 1
    return "%s%d.%03d" % ("-" if sign < 0 else "", thousandths // 1000, thousandths % 1000)


def snap(q):
    """Nearest multiple of 0.5, an exact half to the even multiple."""
    return Fraction(round(q * 2), 2)  # Python rounds Fractions half to even


def plane_cm(cx, cy, snapping):
    """Expected X1, Y1 for a click at chart pixel (cx, cy)."""
    x = Fraction(cx - 27) * Fraction(4285, 100) / 962
    y = Fraction(678 - cy) * 30 / 677
    if snapping:
        x, y = snap(x), snap(y)
    return fixed3(x), fixed3(y)


class Protocol:
    """The protocol box as the actions left it: whole lines, each a
    measurement (number, x, y) or text, then the unfinished last line."""

    def __init__(self):
        self.lines = []
        self.tail = ""
        self.known = True  # false after an edit whose result is not modelled

    def measure(self, entry):
        if self.tail:
            self.lines.append(self.tail)
            self.tail = ""
        self.lines.append(entry)

    def remove_last_line(self):
        if self.tail:
            self.tail = ""
        elif self.lines:
            self.lines.pop()

    def type(self, text):
        for ch in text:
            if ch == "\n":
                self.lines.append(self.tail)
                self.tail = ""
            else:
                self.tail += ch

    def backspace(self):
        if self.tail:
            self.tail = self.tail[:-1]
        elif self.lines:
            last = self.lines.pop()
            if isinstance(last, str):
                self.tail = last
            else:
                self.known = False  # now part of a measurement line

    def clear(self):
        self.lines, self.tail, self.known = [], "", True

    def fits_cp1251(self):
        """Whether a save in ANSI asks nothing; None when the text is not known."""
        if not self.known:
            return None
        for piece in [l for l in self.lines if isinstance(l, str)] + [self.tail]:
            try:
                piece.encode("cp1251")
            except UnicodeEncodeError:
                return False
        return True

    def check_file(self, data, where):
        text = data.decode("cp1251")
        pieces = text.split("\r\n")
        tail = pieces.pop()
        if len(pieces) != len(self.lines):
            raise Failure("%s: %d lines saved, %d expected" % (where, len(pieces), len(self.lines)))
        for i, (got, want) in enumerate(zip(pieces, self.lines)):
            if isinstance(want, str):
                if got.encode("cp1251") != want.encode("cp1251", "replace"):
                    raise Failure("%s: line %d is %r, expected %r" % (where, i, got, want))
                continue
            m = LINE.match(got)
            if not m or (int(m.group(1)), m.group(2), m.group(3)) != want:
                raise Failure("%s: line %d is %r, expected number %d at x=%s y=%s" % ((where, i, got) + want))
        if tail.encode("cp1251") != self.tail.encode("cp1251", "replace"):
            raise Failure("%s: last line %r, expected %r" % (where, tail, self.tail))


class Monkey:
    def __init__(self, main_id, pid, work, seed):
        self.x = Display()
        self.main = self.x.window(main_id)
        self.pid = pid
        self.work = work
        self.rng = random.Random(seed)
        self.ox, self.oy = self.x.client_origin(self.main)
        self.count = 0
        self.mode, self.snapping, self.marks = True, False, False
        self.protocol = Protocol()
        self.about = None  # its window while shown
        self.about_frame = None
        self.clipboard_text = None  # what a paste inserts
        self.xclips = []
        self.last_press = (-1e9, (-1000, -1000))
        self.saves = 0
        self.bad_saves = 0
        self.stats = {}
        self.history = deque(maxlen=15)  # the latest actions, for a failure report
        self.actions = ["start"]  # every action done, by number
        self.counts = [(0, 0)]  # (counter, number of the action that set it), in order
        self.journal_inode = None  # the journal the counts are compared with
        self.journal_base = 0  # the entry of counts its first value stands for

    # -- low level ---------------------------------------------------------

    def screen(self, p):
        return self.ox + p[0], self.oy + p[1]

    def covered(self, p):
        """Whether the About window lies over this client-area point."""
        if not self.about_frame:
            return False
        sx, sy = self.screen(p)
        x, y, w, h = self.about_frame
        return x - 2 <= sx < x + w + 2 and y - 2 <= sy < y + h + 2

    def point_in(self, rect, margin=0):
        left, top, w, h = rect
        for _ in range(100):
            p = (self.rng.randint(left + margin, left + w - 1 - margin),
                 self.rng.randint(top + margin, top + h - 1 - margin))
            if not self.covered(p):
                return p
        return None

    def move(self, p):
        self.x.move(*self.screen(p))

    def pause_before_press(self, p):
        """Where Qt would take a press at p for the second of a double-click,
        lets its interval pass: a pause in time is the point here."""
        t, q = self.last_press
        if abs(p[0] - q[0]) <= DOUBLE_CLICK_NEAR_PX and abs(p[1] - q[1]) <= DOUBLE_CLICK_NEAR_PX:
            wait = DOUBLE_CLICK_GAP_S - (time.monotonic() - t)
            if wait > 0:
                time.sleep(wait)

    def press_left(self, p):
        """A left press at p that Qt never takes for a double-click."""
        self.pause_before_press(p)
        self.x.press(1)
        # Timed once the server has it down, so that the pause before the
        # next press counts from no earlier than the server stamped this one.
        wait_until("button 1 to go down", lambda: self.x.root.query_pointer().mask & X.Button1Mask, step=0.0005)
        self.last_press = (time.monotonic(), p)

    def click(self, p):
        self.move(p)
        self.press_left(p)
        self.x.release(1)

    def sync(self):
        self.x.ping(self.main)

    def measured(self, p):
        """The model of one measurement at chart pixel p."""
        if not self.mode:
            return
        x, y = plane_cm(p[0], p[1], self.snapping)
        self.protocol.measure((self.count, x, y))
        self.set_count(self.count + 1)

    def set_count(self, value):
        self.count = value
        self.counts.append((value, len(self.actions)))

    def focused_is(self, win):
        return self.x.focused_is(win)

    # -- actions -------------------------------------------------------------

    def a_move(self):
        p = self.point_in((0, 0, 1246, 775))
        if p:
            self.move(p)

    def chart_point(self):
        left, top, w, h = CHART
        return self.point_in((left, top, w, h), margin=1)

    def a_chart_click(self):
        p = self.chart_point()
        if not p:
            return False
        self.click(p)
        self.sync()  # the handler reads the cursor: it must still be there
        self.measured(p)

    def a_chart_double_click(self):
        p = self.chart_point()
        if not p:
            return False
        self.move(p)
        self.pause_before_press(p)
        self.x.double_click(1)
        self.last_press = (time.monotonic(), p)
        self.sync()
        self.measured(p)

    def a_chart_drag(self):
        a = self.chart_point()
        if not a:
            return False
        inside = self.rng.random() < 0.8
        b = self.chart_point() if inside else self.point_in((0, 705, 1246, 70))
        if not b:
            return False
        self.move(a)
        self.press_left(a)
        for i in range(1, 6):
            self.move((a[0] + (b[0] - a[0]) * i // 5, a[1] + (b[1] - a[1]) * i // 5))
        self.x.release(1)
        self.sync()
        if inside:
            self.measured(b)

    def a_right_click(self):
        p = self.chart_point()
        if not p:
            return False
        self.move(p)
        self.x.click(3)

    def a_right_drag(self):
        a, b = self.chart_point(), self.chart_point()
        if not a or not b:
            return False
        self.move(a)
        self.x.press(3)
        self.move(((a[0] + b[0]) // 2, (a[1] + b[1]) // 2))
        self.move(b)
        self.x.release(3)

    def a_wheel(self):
        p = self.chart_point()
        if not p:
            return False
        self.move(p)
        self.x.click(self.rng.choice((4, 5)))

    def a_readout_click(self):
        p = self.point_in(READOUT)
        if not p:
            return False
        self.click(p)

    def button(self, rect):
        left, top, w, h = rect
        p = (left + w // 2 + self.rng.randint(-w // 3, w // 3), top + h // 2 + self.rng.randint(-5, 5))
        if self.covered(p):
            return False
        self.click(p)
        return True

    def checkbox(self, rect):
        # The box itself, not the empty part of the control beyond its text.
        left, top, _, h = rect
        p = (left + 7, top + h // 2)
        if self.covered(p):
            return False
        self.click(p)
        return True

    def a_undo(self):
        if not self.button(BUTTON3):
            return False
        if self.count > 0:
            self.set_count(self.count - 1)
            self.protocol.remove_last_line()

    def a_copy(self):
        if not self.button(BUTTON4):
            return False
        self.sync()
        self.clipboard_text = None  # an image: nothing a text box can paste

    def a_snap(self):
        if self.checkbox(CHECKBOX1) is False:
            return False
        self.snapping = not self.snapping

    def a_marks(self):
        if self.checkbox(CHECKBOX2) is False:
            return False
        self.marks = not self.marks

    def a_mode(self):
        if self.checkbox(CHECKBOX3) is False:
            return False
        self.mode = not self.mode

    def memo_end(self):
        """Clicks into the protocol box and puts the caret at its end."""
        p = self.point_in(MEMO, margin=3)
        if not p:
            return False
        self.click(p)
        self.sync()
        try:
            self.x.wait_focus(self.main)
        except Timeout as e:
            raise Failure("after a click on the protocol box: %s" % e)
        self.x.key("ctrl+End")
        return True

    def a_type(self):
        if not self.memo_end():
            return False
        text = "".join(self.rng.choice(TYPABLE) for _ in range(self.rng.randint(1, 12)))
        if self.rng.random() < 0.4:
            text += "\n"
        self.x.type_text(text)
        self.protocol.type(text)

    def a_paste(self):
        if not self.memo_end():
            return False
        text = self.rng.choice(PASTES)
        owner = self.x.selection_owner()
        proc = subprocess.Popen(["xclip", "-selection", "clipboard", "-quiet"], stdin=subprocess.PIPE,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        proc.stdin.write(text.encode("utf-8"))
        proc.stdin.close()
        self.xclips.append(proc)
        wait_until("xclip to take the clipboard", lambda: self.x.selection_owner() != owner)
        self.clipboard_text = text
        self.x.key("ctrl+v")
        self.sync()
        self.protocol.type(text)

    def a_backspace(self):
        if not self.memo_end():
            return False
        for _ in range(self.rng.randint(1, 6)):
            self.x.key("BackSpace")
            self.protocol.backspace()

    def a_clear(self):
        if not self.memo_end():
            return False
        self.x.key("ctrl+a")
        self.x.key("Delete")
        self.protocol.clear()

    def a_memo_undo(self):
        if not self.memo_end():
            return False
        self.x.key("ctrl+z")
        self.protocol.known = False

    def a_about(self):
        if self.about:
            return self.rng.choice((self.about_move, self.about_close))()
        if not self.button(BUTTON6):
            return False
        self.about = self.x.wait_window(ABOUT_TITLE)
        self.x.settle(self.about)
        self.about_frame = self.x.frame_geometry(self.about)

    def about_move(self):
        x, y, w, _ = self.about_frame
        grip = (x + w // 3, y + 8)  # on the title bar
        target = (self.rng.randint(0, 600), self.rng.randint(0, 600))
        self.x.move(*grip)
        self.x.press(1)
        for i in range(1, 6):
            self.x.move(grip[0] + (target[0] - x) * i // 5, grip[1] + (target[1] - y) * i // 5)
        self.x.release(1)
        # The window manager moves the window as it reads the motion, and
        # lets go at the release.
        self.x.wm_sync()
        self.sync()
        self.x.settle(self.about)
        self.about_frame = self.x.frame_geometry(self.about)

    def about_close(self):
        # Alt+F4 once the window has the keyboard, or its close button.
        x, y, w, h = self.about_frame
        if self.rng.random() < 0.5:
            self.x.move(x + w // 4, y + h // 2)  # its text box
            self.x.click(1)
            self.sync()
            try:
                self.x.wait_focus(self.about)
            except Timeout as e:
                raise Failure("after a click on the About window: %s" % e)
            self.x.key("alt+F4")
        else:
            self.x.close(self.about)
        self.x.wait_gone(self.about)
        self.about = None
        self.about_frame = None

    def a_save(self, bad=False):
        if self.covered((BUTTON5[0] + 90, BUTTON5[1] + 12)):
            return False
        before = {w.id for _, w in self.x.visible_titles()}
        if not self.button(BUTTON5):
            return False
        self.sync()
        dialog = self.new_window(before)
        path = "/nonexistent/dir/x.txt" if bad else os.path.join(self.work, "monkey-%d.txt" % self.saves)
        self.x.key("ctrl+a")
        self.x.type_text(path)
        fits = self.protocol.fits_cp1251()
        self.x.key("Return")
        boxes = self.answer_boxes(dialog)
        # The encoding question (when ANSI cannot hold the protocol) comes
        # before anything is written, so also before the error of a bad path.
        if fits is not None and boxes != int(bad) + int(not fits):
            raise Failure("%d boxes at a %s save of a protocol that %s ANSI" % (
                boxes, "bad" if bad else "good", "fits" if fits else "does not fit"))
        if fits is False:
            self.stats["encoding questions"] = self.stats.get("encoding questions", 0) + 1
        if bad:
            self.bad_saves += 1
        self.sync()
        if bad:
            return
        self.saves += 1
        # A new file appears whole, renamed into place after the dialog has gone.
        wait_until("the protocol file %s" % path, lambda: os.path.exists(path))
        with open(path, "rb") as f:
            data = f.read()
        if self.protocol.known:
            try:
                self.protocol.check_file(data, "save %d" % self.saves)
            except Failure as e:
                self.check_counts()  # names the action where a number went wrong
                raise Failure("%s\nsaved: %r\nexpected: %r + %r" % (e, data.decode("cp1251")[-600:],
                                                                   self.protocol.lines[-10:], self.protocol.tail))
            self.stats["checked saves"] = self.stats.get("checked saves", 0) + 1

    def answer_boxes(self, dialog):
        """Answers the program's boxes until the save dialog has gone; returns
        how many there were. Tab then space is "save anyway" on the encoding
        question and OK on an error box, whose one button keeps the focus."""
        boxes = 0

        def closed_or_box():
            return not self.x.viewable(dialog) or self.x.windows_named(ERROR_TITLE)
        while self.x.viewable(dialog):
            shown = wait_until("the save dialog to close or show a box", closed_or_box)
            if shown is True:
                break
            self.wait_focus(shown[0])
            self.x.key("Tab")
            self.x.key("space")
            self.x.wait_gone(shown[0])
            boxes += 1
        return boxes

    def a_bad_save(self):
        return self.a_save(bad=True)

    def new_window(self, before):
        w = wait_until("the save dialog to open", lambda: next(
            (w for _, w in self.x.visible_titles() if w.id not in before), None))
        self.wait_focus(w)
        return w

    def wait_focus(self, win):
        """The window takes the keyboard on its own, as the program's dialogs
        and boxes do when they are shown; then its program has seen that."""
        self.x.wait_focus(win)
        self.x.ping(win)

    # -- checks --------------------------------------------------------------

    def check_alive(self):
        try:
            os.kill(self.pid, 0)
        except OSError:
            raise Failure("the program is gone")
        expected = {MAIN_TITLE} | ({ABOUT_TITLE} if self.about else set())
        for title, w in self.x.visible_titles():
            if title not in expected:
                raise Failure("unexpected window %r" % title)

    def check_counts(self):
        """The program's counter has gone through the model's values, in
        order: a click the program lost or an undo it did twice shows here,
        at the action that did it, even where the protocol's text is not
        known."""
        folder = os.path.join(self.work, "state", "potencor")
        expected = [c for c, _ in self.counts[self.journal_base:]]
        if self.journal_inode is None:
            self.journal_inode = wait_until("the recovery journal", lambda: journal_counts(folder))[0]
        seen = None

        def caught_up():
            nonlocal seen
            seen = journal_counts(folder)
            return seen is not None and (len(seen[1]) >= len(expected) or seen[0] != self.journal_inode)
        try:
            wait_until("the journal to record the counter %d" % self.count, caught_up)
        except Timeout:
            pass
        if seen is None:
            raise Failure("no recovery journal in %s" % folder)
        inode, got = seen
        if inode != self.journal_inode:
            # Rewritten from a new snapshot: only where it ends is known, and
            # later checks start from there.
            if got[-1:] != [self.count]:
                raise Failure("the program's counter is %s, the model's %d" % (got[-1:], self.count))
            self.journal_inode = inode
            self.journal_base = len(self.counts) - len(got)
            return
        if got == expected:
            return
        i = next((i for i, (a, b) in enumerate(zip(got, expected)) if a != b), min(len(got), len(expected)))
        at = self.counts[min(self.journal_base + i, len(self.counts) - 1)][1]
        raise Failure("the program's counter went %s, the model's %s; apart from action %d on: %s" % (
            got[max(0, i - 3):i + 4], expected[max(0, i - 3):i + 4], at,
            ", ".join("%d %s" % (n, self.actions[n]) for n in range(max(0, at - 6), min(len(self.actions), at + 3)))))

    def final_check(self):
        """Clean protocol state, a few more measurements, one last save."""
        self.history.append("final check")
        self.actions.append("final check")
        if self.about:
            self.about_close()
        if not self.protocol.known:
            self.a_clear()
        if not self.mode:
            self.a_mode()
        for _ in range(3):
            self.a_chart_click()
        self.a_save()
        self.check_alive()
        self.check_counts()

    def run(self, actions):
        table = [
            (self.a_move, 18), (self.a_chart_click, 20), (self.a_chart_double_click, 5),
            (self.a_chart_drag, 6), (self.a_right_click, 4), (self.a_right_drag, 2), (self.a_wheel, 2),
            (self.a_readout_click, 2), (self.a_undo, 10), (self.a_copy, 2), (self.a_snap, 3),
            (self.a_marks, 3), (self.a_mode, 3), (self.a_type, 4), (self.a_paste, 2),
            (self.a_backspace, 3), (self.a_clear, 2), (self.a_memo_undo, 0.5), (self.a_about, 2),
            (self.a_save, 1), (self.a_bad_save, 0.5),
        ]
        funcs = [f for f, _ in table]
        weights = [w for _, w in table]
        done = 0
        while done < actions:
            f = self.rng.choices(funcs, weights)[0]
            if f() is False:
                continue  # not possible just now (covered by the About window)
            done += 1
            self.actions.append(f.__name__[2:])
            self.stats[f.__name__[2:]] = self.stats.get(f.__name__[2:], 0) + 1
            self.history.append("%d %s: count %d, mode %s, snap %s" % (done, f.__name__[2:], self.count,
                                                                     self.mode, self.snapping))
            self.sync()
            if done % 100 == 0:
                self.check_alive()
            if done % COUNT_CHECK_EVERY == 0:
                self.check_counts()
        self.final_check()
        return done

    def close(self):
        for p in self.xclips:
            if p.poll() is None:
                p.terminate()
                p.wait()


def main():
    main_id, pid, work = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    given = os.environ.get("POTENCOR_MONKEY_SEED") or os.environ.get("MONKEY_SEED")
    if given:
        seed, source = int(given), "given"
    elif os.environ.get("CI"):
        seed, source = CI_SEED, "fixed in CI"
    else:
        seed, source = random.SystemRandom().randrange(1 << 32), "random"
    actions = int(os.environ.get("POTENCOR_MONKEY_ACTIONS") or os.environ.get("MONKEY_ACTIONS") or 5000)
    print("monkey: seed %d, %s (replay with POTENCOR_MONKEY_SEED=%d)" % (seed, source, seed), flush=True)
    monkey = Monkey(main_id, pid, work, seed)
    start = time.monotonic()
    try:
        done = monkey.run(actions)
    except (Failure, Timeout) as e:
        print("FAIL: %s (seed %d)" % (e, seed), file=sys.stderr)
        print("latest actions:\n  " + "\n  ".join(monkey.history), file=sys.stderr)
        shot = os.path.join(os.environ.get("TMPDIR", "/tmp"), "potencor-monkey-fail.png")
        subprocess.run(["import", "-window", "root", shot], check=False)
        print("screen at the failure: " + shot, file=sys.stderr)
        return 1
    finally:
        monkey.close()
    print("monkey: %d actions in %.0f s, %d measurements left, %d saves (%d checked), %d failed saves"
          % (done, time.monotonic() - start, monkey.count, monkey.saves,
             monkey.stats.get("checked saves", 0), monkey.bad_saves))
    print("monkey: " + ", ".join("%s %d" % kv for kv in sorted(monkey.stats.items())))
    return 0


if __name__ == "__main__":
    sys.exit(main())
