"""A student at a virtual display, for end-to-end tests written in Python:
Xvfb with openbox, the real program started and answered like a person would,
and every wait tied to a condition (a window, a pixel, a file, the clipboard,
an answer to _NET_WM_PING), each with a generous time limit (xdrive.TIMEOUT).
"""
import os
import re
import resource
import select
import signal
import subprocess
import sys
import tempfile
import time
import traceback

from xdrive import TIMEOUT, Display, Timeout, wait_until  # noqa: F401 (the tests take Timeout and wait_until from here)

MAIN_TITLE = "Потенкор"
QUESTION_TITLE = "Potencor"  # the program's boxes carry its name
SAVE_BUTTON = (907, 726)     # "Сохранить данные в файл", client px
UNDO_BUTTON = (707, 726)     # "Удалить последний элемент"
LABELS_BOX = (245, 759)      # "маркировка точек"
MEMO = (1127, 400)           # the protocol box
CHART = (0, 0, 1000, 700)    # the chart's client rectangle
OFF_CHART = (1127, 20)       # a place where the pointer disturbs nothing


class Desktop:
    """Xvfb and openbox (or no window manager at all), stopped again by close()."""

    def __init__(self, size="1600x1000x24", window_manager=True):
        self.tmp = tempfile.mkdtemp(prefix="potencor-e2e-")
        self.procs = []
        r, w = os.pipe()
        self.procs.append(subprocess.Popen(
            ["Xvfb", "-displayfd", str(w), "-noreset", "-screen", "0", size, "-nolisten", "tcp"],
            pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        os.close(w)
        number = b""
        with os.fdopen(r, "rb") as f:  # Xvfb writes its number once it accepts clients
            if select.select([f], [], [], TIMEOUT)[0]:
                number = f.readline().strip()
        if not number:
            self.close()
            raise RuntimeError("Xvfb did not write its display number within %.0f s" % TIMEOUT)
        self.display = ":" + number.decode()
        os.environ["DISPLAY"] = self.display
        self.x = Display(self.display)
        self.window_manager = window_manager
        if not window_manager:
            return
        self.procs.append(subprocess.Popen(["openbox"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        check = self.x.atom("_NET_SUPPORTING_WM_CHECK")
        wait_until("the window manager", lambda: self.x.root.get_full_property(check, 0) is not None)

    def close(self):
        for p in reversed(self.procs):
            if p.poll() is None:
                p.kill()
                p.wait()


class Program:
    """The real program on the desktop, with its own state folder."""
    started = []  # every program, so that a failed test can end them all

    @classmethod
    def kill_all(cls):
        for p in cls.started:
            if p.alive():
                p.kill()
        cls.started.clear()

    def __init__(self, desktop, binary, state_dir, answer_recovery=None, file_size_limit=None):
        """file_size_limit: bytes, as `ulimit -f` sets it for the program."""
        self.d = desktop
        self.x = desktop.x
        self.log_path = os.path.join(desktop.tmp, "app-%d.log" % time.monotonic_ns())
        env = dict(os.environ, XDG_STATE_HOME=state_dir, DISPLAY=desktop.display)
        self.log = open(self.log_path, "wb")

        def limits():
            if file_size_limit is not None:
                resource.setrlimit(resource.RLIMIT_FSIZE, (file_size_limit, file_size_limit))
        self.proc = subprocess.Popen([binary], env=env, stdout=self.log, stderr=subprocess.STDOUT,
                                     preexec_fn=limits)
        Program.started.append(self)
        self.press_in_box("Warning", "Return")
        if callable(answer_recovery):  # a scenario of its own with the offer
            answer_recovery(self)
        elif answer_recovery is not None:
            self.answer_question(answer_recovery)
        self.main = self.x.wait_window(MAIN_TITLE)
        self.activate(self.main)
        self.origin = self.x.settle(self.main)[:2]

    # -- windows and boxes ---------------------------------------------------

    def activate(self, win):
        """Gives the window the keyboard; returns once its program knows."""
        self.x.activate(win)

    def press_in_box(self, title, *keys, timeout=None):
        """Waits for a box, gives it the keyboard, presses the keys and waits
        until it has gone."""
        box = self.x.wait_window(title, timeout)
        self.activate(box)
        for k in keys:
            self.x.key(k)
        self.x.wait_gone(box)
        return box

    def answer_question(self, answer):
        """The program's three-way question: "save", "discard" or "cancel";
        the recovery offer: "restore" or "decline"."""
        keys = {"save": ["Return"], "restore": ["Return"], "discard": ["Tab", "space"],
                "decline": ["Tab", "space"], "cancel": ["Escape"]}[answer]
        self.press_in_box(QUESTION_TITLE, *keys)

    def question_shown(self):
        return bool(self.x.windows_named(QUESTION_TITLE))

    # -- the pointer and the keyboard ------------------------------------------

    def screen(self, client):
        return self.origin[0] + int(client[0]), self.origin[1] + int(client[1])

    def click(self, client, button=1):
        self.x.move(*self.screen(client))
        self.x.click(button)
        self.x.ping(self.main)

    def red_near(self, client):
        sx, sy = self.screen(client)
        pixel = self.x.screenshot(sx - 3, sy - 3, 7, 7)
        return any(r > 200 and g < 80 and b < 80
                   for r, g, b in (pixel(x, y) for x in range(sx - 3, sx + 4) for y in range(sy - 3, sy + 4)))

    def measure(self, client):
        """A click on the chart; returns once the point shows."""
        self.click(client)
        wait_until("the point at %s to show" % (client,), lambda: self.red_near(client))

    def type_in_memo(self, text):
        self.click(MEMO)
        self.x.key("ctrl+End")
        self.x.type_text(text)
        self.x.ping(self.main)

    def set_clipboard(self, text):
        """Owns the clipboard with that text; returns once it is there (xclip
        takes it from a process of its own, after it has returned)."""
        subprocess.run(["xclip", "-selection", "clipboard", "-i"], input=text.encode(), timeout=60)
        wait_until("the clipboard to hold %r" % text, lambda: subprocess.run(
            ["xclip", "-selection", "clipboard", "-o"], capture_output=True, timeout=60).stdout == text.encode())

    def paste_in_memo(self, text):
        """Pastes at the protocol's end: one edit, however long."""
        self.set_clipboard(text)
        self.click(MEMO)
        self.x.key("ctrl+End")
        self.x.key("ctrl+v")
        self.x.ping(self.main)

    def memo_text(self):
        """The protocol box's text, through the clipboard as a person copies
        it. The box must hold something: an empty one copies nothing, which
        is no event to wait for."""
        sentinel = "clipboard-before-%d" % time.monotonic_ns()
        self.set_clipboard(sentinel)
        self.click(MEMO)
        self.x.key("ctrl+a")
        self.x.key("ctrl+c")

        def copied():
            got = subprocess.run(["xclip", "-selection", "clipboard", "-o"], capture_output=True, timeout=60)
            return got.stdout if got.returncode == 0 and got.stdout.decode("utf-8", "replace") != sentinel else None
        # The clipboard itself, not an answer to a ping: a program that has
        # just started answers one before its first copy has taken the
        # clipboard, now and then.
        text = wait_until("the protocol box's text on the clipboard after Ctrl+C"
                          " (an empty box copies nothing)", copied)
        self.x.key("ctrl+End")
        return text.decode("utf-8")

    def chart_pixels(self):
        """The chart's pixels, with the pointer out of the way."""
        self.x.move(*self.screen(OFF_CHART))
        self.x.ping(self.main)
        sx, sy = self.screen(CHART[:2])
        image = self.x.root.get_image(sx, sy, CHART[2], CHART[3], 2, 0xFFFFFFFF)
        return image.data

    def save_as(self, path):
        """"Сохранить данные в файл", the path typed into the dialog."""
        self.click(SAVE_BUTTON)
        self.fill_file_dialog(path)

    def fill_file_dialog(self, path, error_box=False, ends_program=False):
        """Types the path into the file dialog and confirms it; with
        error_box, the program's error shown over the dialog is answered."""
        dialog = wait_until("the file dialog", lambda: self.new_dialog())
        self.activate(dialog)
        self.x.key("ctrl+a")
        self.x.type_text(path)
        self.x.ping(dialog)
        self.x.key("Return")
        if error_box:
            self.press_in_box(QUESTION_TITLE, "Return")
        self.x.wait_gone(dialog)
        if not ends_program:
            self.x.ping(self.main)

    def new_dialog(self):
        for title, w in self.x.visible_titles():
            if title not in (MAIN_TITLE, QUESTION_TITLE, "Warning") and w.id != self.main.id:
                return w
        return None

    # -- the process ------------------------------------------------------------

    def alive(self):
        return self.proc.poll() is None

    def close_window(self):
        self.x.close(self.main)

    def wait_exit(self, timeout=None):
        wait_until("the program to end", lambda: not self.alive(), timeout)
        self.log.close()
        return self.proc.returncode

    def kill(self):
        self.proc.send_signal(signal.SIGKILL)
        self.proc.wait()
        if not self.log.closed:
            self.log.close()

    def output(self):
        with open(self.log_path, "rb") as f:
            return f.read().decode("utf-8", "replace")


# -- running named scenarios ----------------------------------------------------

failures = []


def check(ok, what):
    """A failed expectation: noted, and the scenario goes on."""
    if not ok:
        failures.append(what)
        print("FAIL: " + what, file=sys.stderr, flush=True)


def run_scenarios(title, scenarios, wanted):
    """Runs each wanted scenario; an exception (a timeout) fails that one and
    the rest still run. Every program they started must have ended without a
    sanitizer report. Returns the exit status."""
    for name in wanted:
        print("-- " + name, flush=True)
        try:
            scenarios[name]()
        except Exception as e:
            traceback.print_exc()
            check(False, "%s: %s: %s" % (name, type(e).__name__, e))
            subprocess.run(["import", "-window", "root", "/tmp/potencor-%s-%s.png" % (title, name)], check=False)
            for p in Program.started:
                print("-- the program's output:\n" + p.output(), file=sys.stderr)
        for p in Program.started:
            if re.search(r"Sanitizer|runtime error:", p.output()):
                check(False, "%s: sanitizer report:\n%s" % (name, p.output()))
        Program.kill_all()
    print("%s: %d failed" % (title, len(failures)))
    return 1 if failures else 0
