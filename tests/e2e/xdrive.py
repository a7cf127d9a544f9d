"""A user at an X display, for end-to-end tests: finds windows, moves the
pointer, clicks and types through the XTEST extension (one connection, no
process per action), and closes windows the way a window manager does.

Also a small command line for the shell tests:
    xdrive.py close WINDOW_ID      ask the window to close (WM_DELETE_WINDOW)
    xdrive.py ping WINDOW_ID       wait until its program has handled all input
    xdrive.py end WINDOW_ID PID    close the window and, if the program asks
                                   about unsaved work, answer "Не сохранять";
                                   returns once the process has gone
"""
import subprocess
import sys
import time

from Xlib import X, XK, Xatom, display, error, protocol
from Xlib.ext import xtest


class Timeout(Exception):
    pass


class Display:
    def __init__(self, name=None):
        self.d = display.Display(name)
        self.root = self.d.screen().root
        # Answers to _NET_WM_PING go to the root window with one of these masks.
        self.root.change_attributes(event_mask=X.StructureNotifyMask | X.SubstructureNotifyMask)
        self.atom = lambda n: self.d.intern_atom(n)
        self._ping_serial = 0
        self._keymap = self._read_keymap()

    # -- windows ---------------------------------------------------------

    def name_of(self, win):
        try:
            prop = win.get_full_property(self.atom("_NET_WM_NAME"), self.atom("UTF8_STRING"))
            if prop is not None:
                return bytes(prop.value).decode("utf-8", "replace")
            prop = win.get_full_property(Xatom.WM_NAME, X.AnyPropertyType)
            if prop is not None:
                value = prop.value
                return value.decode("latin-1") if isinstance(value, bytes) else str(value)
        except error.XError:
            pass
        return None

    def viewable(self, win):
        try:
            return win.get_attributes().map_state == X.IsViewable
        except error.XError:
            return False

    def windows_named(self, name, visible=True):
        """Client windows with that title, found anywhere in the tree."""
        return [c for c in self._all_windows()
                if self.name_of(c) == name and (not visible or self.viewable(c))]

    def _all_windows(self):
        """Every window below the root, depth first; windows that vanish
        meanwhile are passed over."""
        stack = [self.root]
        while stack:
            w = stack.pop()
            try:
                children = w.query_tree().children
            except error.XError:
                continue
            for c in children:
                yield c
                stack.append(c)

    def visible_titles(self):
        """Titles of all viewable windows that have one, except the window
        manager's own check window."""
        wm_check = self.root.get_full_property(self.atom("_NET_SUPPORTING_WM_CHECK"), Xatom.WINDOW)
        skip = {int(wm_check.value[0])} if wm_check is not None and len(wm_check.value) else set()
        titles = []
        for c in self._all_windows():
            t = self.name_of(c)
            if t and c.id not in skip and self.viewable(c):
                titles.append((t, c))
        return titles

    def popup_windows(self):
        """Viewable windows that bypass the window manager (menus, completer
        lists, tooltips): what floats over the others without a frame."""
        found = []
        for c in self.root.query_tree().children:
            try:
                a = c.get_attributes()
            except error.XError:
                continue
            if not (a.override_redirect and a.map_state == X.IsViewable):
                continue
            g = c.get_geometry()
            # Qt's 1x1 helper windows off the screen's edge are no popups.
            if g.x + g.width > 0 and g.y + g.height > 0 and g.width > 1 and g.height > 1:
                found.append(c)
        return found

    def wait_window(self, name, timeout=15.0):
        end = time.monotonic() + timeout
        while True:
            wins = self.windows_named(name)
            if wins:
                return wins[0]
            if time.monotonic() > end:
                raise Timeout("no window named %r" % name)
            time.sleep(0.02)

    def wait_gone(self, win, timeout=15.0):
        end = time.monotonic() + timeout
        while self.viewable(win):
            if time.monotonic() > end:
                raise Timeout("window %#x did not close" % win.id)
            time.sleep(0.02)

    def window(self, wid):
        return self.d.create_resource_object("window", int(wid, 0) if isinstance(wid, str) else wid)

    def client_origin(self, win):
        """Screen position of the window's client area."""
        t = self.root.translate_coords(win, 0, 0)
        return t.x, t.y

    def client_size(self, win):
        g = win.get_geometry()
        return g.width, g.height

    def frame_extents(self, win):
        """left, right, top, bottom of the decoration the window manager adds."""
        prop = win.get_full_property(self.atom("_NET_FRAME_EXTENTS"), Xatom.CARDINAL)
        if prop is None or len(prop.value) != 4:
            return 0, 0, 0, 0
        return tuple(int(v) for v in prop.value)

    def frame_geometry(self, win):
        """Outer rectangle (x, y, w, h) on the screen, decoration included."""
        x, y = self.client_origin(win)
        w, h = self.client_size(win)
        left, right, top, bottom = self.frame_extents(win)
        return x - left, y - top, w + left + right, h + top + bottom

    def screenshot(self, x, y, w, h):
        """The screen's pixels in that rectangle: a function (sx, sy) -> (r, g, b)."""
        image = self.root.get_image(x, y, w, h, X.ZPixmap, 0xFFFFFFFF)
        data = image.data
        stride = len(data) // h

        def pixel(sx, sy):
            i = (sy - y) * stride + (sx - x) * 4  # 32 bits a pixel: B, G, R, unused
            return data[i + 2], data[i + 1], data[i]
        return pixel

    # -- input -------------------------------------------------------------

    def move(self, x, y, timeout=10.0):
        """Moves the pointer and waits until the server reports it there, so
        that whatever follows happens at that place."""
        x, y = int(x), int(y)
        xtest.fake_input(self.d, X.MotionNotify, x=x, y=y)
        end = time.monotonic() + timeout
        while True:
            p = self.root.query_pointer()
            if (p.root_x, p.root_y) == (x, y):
                return
            if time.monotonic() > end:
                raise Timeout("the pointer does not move to (%d, %d)" % (x, y))
            time.sleep(0.0005)

    def press(self, button):
        xtest.fake_input(self.d, X.ButtonPress, button)
        self.d.flush()

    def release(self, button, timeout=10.0):
        """Releases the button and waits until the server has done so. A
        window manager's click-to-focus grab holds a release back while it
        looks at the press, but lets motion through: moving on at once would
        deliver the release at the next place the pointer goes to."""
        xtest.fake_input(self.d, X.ButtonRelease, button)
        mask = X.Button1Mask << (button - 1) if button <= 5 else 0
        end = time.monotonic() + timeout
        while self.root.query_pointer().mask & mask:
            if time.monotonic() > end:
                raise Timeout("button %d stays down" % button)
            time.sleep(0.0005)

    def click(self, button=1):
        self.press(button)
        self.release(button)

    def _read_keymap(self):
        first = self.d.display.info.min_keycode
        count = self.d.display.info.max_keycode - first + 1
        keymap = {}
        for i, syms in enumerate(self.d.get_keyboard_mapping(first, count)):
            for level, sym in enumerate(syms[:2]):
                if sym and sym not in keymap:
                    keymap[sym] = (first + i, level == 1)
        return keymap

    def _keycode(self, keysym_name):
        sym = XK.string_to_keysym(keysym_name)
        if sym == 0 or sym not in self._keymap:
            raise ValueError("no key for %r" % keysym_name)
        return self._keymap[sym]

    def key(self, combo):
        """Presses a combination such as "ctrl+a", "Return", "alt+F4"."""
        names = {"ctrl": "Control_L", "alt": "Alt_L", "shift": "Shift_L"}
        parts = [names.get(p, p) for p in combo.split("+")]
        codes = [self._keycode(p)[0] for p in parts]
        for c in codes:
            xtest.fake_input(self.d, X.KeyPress, c)
        for c in reversed(codes):
            xtest.fake_input(self.d, X.KeyRelease, c)
        self.d.flush()

    _char_names = {" ": "space", "\n": "Return"}

    def type_text(self, text):
        """Types characters that the keyboard map has (ASCII)."""
        shift = self._keycode("Shift_L")[0]
        for ch in text:
            name = self._char_names.get(ch)
            sym = XK.string_to_keysym(name) if name else ord(ch)
            if sym not in self._keymap:
                raise ValueError("cannot type %r" % ch)
            code, shifted = self._keymap[sym]
            if shifted:
                xtest.fake_input(self.d, X.KeyPress, shift)
            xtest.fake_input(self.d, X.KeyPress, code)
            xtest.fake_input(self.d, X.KeyRelease, code)
            if shifted:
                xtest.fake_input(self.d, X.KeyRelease, shift)
        self.d.flush()

    # -- talking to the program -------------------------------------------

    def close(self, win):
        """What the title bar's close button does: WM_DELETE_WINDOW."""
        ev = protocol.event.ClientMessage(
            window=win, client_type=self.atom("WM_PROTOCOLS"),
            data=(32, [self.atom("WM_DELETE_WINDOW"), X.CurrentTime, 0, 0, 0]))
        win.send_event(ev)
        self.d.flush()

    def ping(self, win, timeout=20.0):
        """Returns once the window's program has read everything sent so far.

        The _NET_WM_PING answer comes from the program's event loop; two in
        a row make sure that input queued before the first has been handled.
        """
        for _ in range(2):
            self._ping_serial += 1
            stamp = self._ping_serial
            ev = protocol.event.ClientMessage(
                window=win, client_type=self.atom("WM_PROTOCOLS"),
                data=(32, [self.atom("_NET_WM_PING"), stamp, win.id, 0, 0]))
            win.send_event(ev)
            self.d.flush()
            self._await_ping(stamp, time.monotonic() + timeout, win)

    def _await_ping(self, stamp, end, win):
        ping = self.atom("_NET_WM_PING")
        while True:
            while self.d.pending_events():
                e = self.d.next_event()
                if (e.type == X.ClientMessage and e.window == self.root
                        and e.data[1][0] == ping and e.data[1][1] == stamp):
                    return
            if time.monotonic() > end:
                raise Timeout("no answer to a ping from window %#x" % win.id)
            time.sleep(0.0005)

    def selection_owner(self, name="CLIPBOARD"):
        return self.d.get_selection_owner(self.atom(name))


def end_program(d, win, pid, timeout=30.0):
    import os
    d.close(win)
    end = time.monotonic() + timeout
    while True:
        try:
            os.kill(pid, 0)
        except ProcessLookupError:
            return
        # The question's title is the program's name; its second button is "Не сохранять".
        for box in d.windows_named("Potencor"):
            subprocess.run(["xdotool", "windowactivate", "--sync", str(box.id)],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
            d.ping(box)
            d.key("Tab")
            d.key("space")
            d.wait_gone(box)
        if time.monotonic() > end:
            raise Timeout("process %d still running" % pid)
        time.sleep(0.02)


def main(argv):
    d = Display()
    if len(argv) == 3 and argv[1] == "close":
        d.close(d.window(argv[2]))
    elif len(argv) == 4 and argv[1] == "end":
        end_program(d, d.window(argv[2]), int(argv[3]))
    elif len(argv) == 3 and argv[1] == "ping":
        d.ping(d.window(argv[2]))
    else:
        sys.stderr.write(__doc__)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
