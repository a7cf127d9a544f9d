"""The program on a Wayland desktop, a headless sway: where XWayland is there
its windows are X11 clients, which can ask for their places; without
XWayland, or when the user asks for Wayland, it runs natively all the same.

    wayland.py PROGRAM WORKDIR

Runs as an ordinary user (sway refuses root) in an empty WORKDIR of its own.
Exit status: 0 passed, 1 failed, 77 sway cannot run on this machine at all.
"""
import json
import os
import re
import signal
import subprocess
import sys

from Xlib import Xatom, Xutil

import xdrive
from xdrive import wait_until

TIMEOUT = 30.0
OUTPUT = (1920, 1080)
WARNING = "Warning"
MAIN = "Потенкор"
ABOUT = "Описание программы"
MAIN_SIZE = (1246, 775)
ABOUT_BUTTON = (907, 757)        # "О программе", client coordinates
# Equal frames: the About window's corner lies this far into the main window's.
ABOUT_OFFSET = ((1246 - 982) // 2, (775 - 348) // 2)
# What a session hands its programs; the test's own values stay out.
SESSION_VARS = ("DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY", "WAYLAND_SOCKET", "XDG_RUNTIME_DIR",
                "XDG_SESSION_TYPE", "DBUS_SESSION_BUS_ADDRESS", "QT_QPA_PLATFORM", "SWAYSOCK", "I3SOCK")


class Failure(Exception):
    pass


class Impossible(Exception):
    pass


def tail(path, lines=30):
    try:
        with open(path, errors="replace") as f:
            return "".join(f.readlines()[-lines:])
    except OSError:
        return ""


class Sway:
    def __init__(self, workdir, name, xwayland):
        self.dir = os.path.join(workdir, name)
        run = os.path.join(self.dir, "run")
        os.makedirs(run, mode=0o700)
        self.log = os.path.join(self.dir, "sway.log")
        envfile = os.path.join(self.dir, "session.env")
        config = os.path.join(self.dir, "config")
        with open(config, "w") as f:
            f.write("output * resolution %dx%d\n" % OUTPUT)
            f.write("xwayland %s\n" % ("enable" if xwayland else "disable"))
            # What sway gives the programs it starts (WAYLAND_DISPLAY, DISPLAY,
            # SWAYSOCK); the file's appearance also says the session is up.
            f.write("exec env > %s.part && mv %s.part %s\n" % (envfile, envfile, envfile))
        env = {"HOME": workdir, "PATH": os.environ["PATH"], "XDG_RUNTIME_DIR": run,
               "WLR_BACKENDS": "headless", "WLR_LIBINPUT_NO_DEVICES": "1",
               # No GPU on a build machine: the software renderer always works.
               "WLR_RENDERER": "pixman"}
        with open(self.log, "w") as log:
            self.proc = subprocess.Popen(["sway", "-c", config], env=env, stdin=subprocess.DEVNULL,
                                         stdout=log, stderr=subprocess.STDOUT)
        self.env = wait_until("sway to start", lambda: self._session(envfile), TIMEOUT)
        self.display = self.env.get("DISPLAY", "")
        if xwayland and not self.display:
            raise Failure("sway started without XWayland:\n" + tail(self.log))
        rects = [o["rect"] for o in self.msg("-t", "get_outputs") if o.get("active")]
        if len(rects) != 1:
            raise Failure("sway has %d active outputs, expected one" % len(rects))
        self.output = rects[0]["width"], rects[0]["height"]

    def _session(self, envfile):
        if self.proc.poll() is not None:
            log = tail(self.log)
            if "Failed to create renderer" in log:
                raise Impossible("sway finds no usable renderer here:\n" + log)
            raise Failure("sway ended at start (status %d):\n%s" % (self.proc.returncode, log))
        try:
            with open(envfile) as f:
                return dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line)
        except FileNotFoundError:
            return None

    def msg(self, *args):
        r = subprocess.run(["swaymsg", "-s", self.env["SWAYSOCK"], *args],
                           capture_output=True, text=True, timeout=TIMEOUT)
        if r.returncode != 0:
            raise Failure("swaymsg %s: %s%s" % (" ".join(args), r.stdout, r.stderr))
        return json.loads(r.stdout)

    def views(self):
        found = []
        stack = [self.msg("-t", "get_tree")]
        while stack:
            node = stack.pop()
            if node.get("pid"):
                found.append(node)
            stack += node.get("nodes", []) + node.get("floating_nodes", [])
        return found

    def wait_view(self, program, title):
        def probe():
            program.check_running()
            return next((v for v in self.views()
                         if v["pid"] == program.proc.pid and v["name"] == title), None)
        # Each look asks sway in a process of its own: not too often.
        return wait_until("the program's window '%s' in sway's tree" % title, probe, TIMEOUT, step=0.05)

    def close_view(self, view):
        self.msg("[con_id=%d]" % view["id"], "kill")

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(TIMEOUT)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


class Program:
    def __init__(self, sway, app, name, env=None, args=(), display=None):
        self.log = os.path.join(sway.dir, name + ".log")
        full = {k: v for k, v in os.environ.items() if k not in SESSION_VARS}
        full.update(WAYLAND_DISPLAY=sway.env["WAYLAND_DISPLAY"], XDG_RUNTIME_DIR=sway.env["XDG_RUNTIME_DIR"],
                    XDG_SESSION_TYPE="wayland",  # as a desktop's login sets it
                    XDG_STATE_HOME=os.path.join(sway.dir, name + ".state"))
        display = sway.display if display is None else display
        if display:
            full["DISPLAY"] = display
        full.update(env or {})
        with open(self.log, "w") as log:
            self.proc = subprocess.Popen([app, *args], env=full, stdin=subprocess.DEVNULL,
                                         stdout=log, stderr=subprocess.STDOUT)

    def output(self):
        with open(self.log, errors="replace") as f:
            return f.read()

    def check_running(self):
        if self.proc.poll() is not None:
            raise Failure("the program ended (status %d):\n%s" % (self.proc.returncode, tail(self.log)))

    def expect_exit(self):
        try:
            status = self.proc.wait(TIMEOUT)
        except subprocess.TimeoutExpired:
            raise Failure("the program still runs %d s after its main window was closed" % TIMEOUT)
        if status != 0:
            raise Failure("the program exited with status %d:\n%s" % (status, tail(self.log)))

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()

    def check_sanitizers(self):
        if re.search(r"Sanitizer|runtime error:", self.output()):
            raise Failure("sanitizer report in the program's output:\n" + self.output())


def expect_shell(view, shell, what):
    if view["shell"] != shell:
        raise Failure("%s is a '%s' window; expected '%s'" % (what, view["shell"], shell))


def requested_position(win):
    """Where the program asked for the window to go (ICCCM size hints)."""
    # python-xlib's parser drops the position fields: read the raw CARD32s.
    prop = win.get_full_property(Xatom.WM_NORMAL_HINTS, Xatom.WM_SIZE_HINTS)
    if prop is None or len(prop.value) < 3 or not prop.value[0] & (Xutil.USPosition | Xutil.PPosition):
        return None
    signed = lambda v: v - (1 << 32) if v & (1 << 31) else v
    return signed(prop.value[1]), signed(prop.value[2])


def centred(pos, size, within):
    return all(abs(2 * p + s - w) <= 1 for p, s, w in zip(pos, size, within))


def x11_windows(sway, app):
    """With XWayland: the start-up warning, the main window and the About
    window are X11 clients, and the program asks for the places they are to
    have; sway shows them there."""
    program = Program(sway, app, "x11")
    closing = [program.kill]
    try:
        view = sway.wait_view(program, WARNING)
        expect_shell(view, "xwayland", "the start-up warning")
        d = xdrive.Display(sway.display)
        closing.append(d.d.close)
        warning = d.wait_window(WARNING, TIMEOUT)
        if warning.id != view["window"]:
            raise Failure("the X11 window named '%s' is not the one sway shows" % WARNING)
        d.close(warning)

        view = sway.wait_view(program, MAIN)
        expect_shell(view, "xwayland", "the main window")
        main = d.wait_window(MAIN, TIMEOUT)
        size = d.client_size(main)
        if size != MAIN_SIZE:
            raise Failure("main window's client area %s, expected %s" % (size, MAIN_SIZE))
        asked = requested_position(main)
        if asked is None or not centred(asked, size, sway.output):
            raise Failure("the main window asked for %s, not the centre of the %s screen"
                          % (asked, sway.output))
        # sway configures a mapped window's place after the map: wait for it.
        try:
            origin = wait_until("the main window centred on the output",
                                lambda: (lambda o: o if centred(o, size, sway.output) else None)(d.client_origin(main)),
                                TIMEOUT)
        except xdrive.Timeout:
            raise Failure("the main window's client area at %s is not centred on the %s output"
                          % (d.client_origin(main), sway.output))

        d.move(origin[0] + ABOUT_BUTTON[0], origin[1] + ABOUT_BUTTON[1])
        d.click()
        view = sway.wait_view(program, ABOUT)
        expect_shell(view, "xwayland", "the About window")
        about = d.wait_window(ABOUT, TIMEOUT)
        # sway announces no frame, so outer corners are the client areas' corners.
        want = (origin[0] + ABOUT_OFFSET[0], origin[1] + ABOUT_OFFSET[1])
        asked = requested_position(about)
        if asked != want:
            raise Failure("the About window asked for %s, expected %s over the main window at %s"
                          % (asked, want, origin))
        # sway centres a floating window on the output whatever it asks for;
        # over a centred main window that is the same place, but for rounding.
        try:
            wait_until("the About window over the main window", lambda: all(
                abs(p - w) <= 1 for p, w in zip(d.client_origin(about), want)), TIMEOUT)
        except xdrive.Timeout:
            raise Failure("the About window is at %s, expected %s over the main window at %s"
                          % (d.client_origin(about), want, origin))

        d.close(about)
        d.wait_gone(about, TIMEOUT)
        d.close(main)
        program.expect_exit()
    finally:
        for close in reversed(closing):
            close()
    program.check_sanitizers()


def native_start(sway, app, name, env=None, args=(), display=None, whole=False, quiet=False):
    """The program runs natively: its start-up warning is a Wayland window.
    whole: the warning answered, the main window is native too and closing it
    ends the program normally. quiet: nothing from Qt about a failed X11
    connection on the way."""
    program = Program(sway, app, name, env, args, display)
    try:
        view = sway.wait_view(program, WARNING)
        expect_shell(view, "xdg_shell", "the start-up warning")
        if whole:
            sway.close_view(view)
            view = sway.wait_view(program, MAIN)
            expect_shell(view, "xdg_shell", "the main window")
            sway.close_view(view)
            program.expect_exit()
        if quiet and "qt.qpa" in program.output():
            raise Failure("Qt complains at start:\n" + program.output())
    finally:
        program.kill()
    program.check_sanitizers()


def unused_display():
    """An X display number that no server listens on."""
    with open("/proc/net/unix") as f:
        sockets = f.read()
    for n in range(90, 1000):
        if "/tmp/.X11-unix/X%d\n" % n not in sockets and not os.path.exists("/tmp/.X11-unix/X%d" % n):
            return ":%d" % n
    raise Failure("no free X display number")


def main(argv):
    app, workdir = argv[1], argv[2]
    # Ended from outside (a test timeout): the finally clauses stop sway and the program.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    with_x = [
        ("by default the windows are X11 clients, placed as the program asks",
         lambda s: x11_windows(s, app)),
        ("QT_QPA_PLATFORM=wayland is obeyed",
         lambda s: native_start(s, app, "env", env={"QT_QPA_PLATFORM": "wayland"})),
        ("-platform wayland is obeyed",
         lambda s: native_start(s, app, "arg", args=["-platform", "wayland"])),
    ]
    without_x = [
        ("no X display: native start, and no word about X11",
         lambda s: native_start(s, app, "nox", display="", whole=True, quiet=True)),
        ("an X display nobody answers on: native start",
         lambda s: native_start(s, app, "deadx", display=unused_display())),
    ]
    failures = []
    for session, xwayland, cases in (("xwayland", True, with_x), ("wayland-only", False, without_x)):
        try:
            sway = Sway(workdir, session, xwayland)
        except Impossible as e:
            print("SKIP: %s" % e)
            return 77
        except (Failure, xdrive.Timeout) as e:
            failures.append("%s: %s" % (session, e))
            continue
        try:
            for what, case in cases:
                try:
                    case(sway)
                    print("ok   [%s] %s" % (session, what))
                except (Failure, xdrive.Timeout) as e:
                    failures.append("[%s] %s: %s" % (session, what, e))
                    print("FAIL [%s] %s" % (session, what))
            if sway.proc.poll() is not None:
                failures.append("[%s] sway died:\n%s" % (session, tail(sway.log)))
        finally:
            sway.stop()
    for f in failures:
        print("FAIL: " + f, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
