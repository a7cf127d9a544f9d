"""A user at an X display, for end-to-end tests: finds windows, moves the
pointer, clicks and types through the XTEST extension (one connection, no
process per action), and closes windows the way a window manager does.

Every wait is on a condition (a window, the focus, a pixel, an answer to
_NET_WM_PING) with a generous limit, E2E_TIMEOUT seconds (default 60); one
that runs out names its condition and the limit.

Also a small command line for the shell tests; WINDOW is an id, X Y are
client-area pixels of that window, and each action returns once the window's
program has handled it:
    xdrive.py wait-wm              wait until a window manager runs
    xdrive.py wait-window NAME     print the id of a viewable window so titled
    xdrive.py shown NAME           whether one is viewable now (exit status)
    xdrive.py wait-gone WINDOW     wait until the window is no longer viewable
    xdrive.py activate WINDOW      give the window the keyboard
    xdrive.py settle WINDOW [X Y]  wait until the window is placed and stays
                                   put (first until its client origin is no
                                   longer X Y); print its client area as
                                   "X Y WIDTH HEIGHT"
    xdrive.py move WINDOW X Y      move the pointer there
    xdrive.py click WINDOW X Y [BUTTON]
    xdrive.py key WINDOW COMBO...  press keys ("ctrl+a", "Return")
    xdrive.py key-close WINDOW COMBO...
                                   press keys that close the window; return
                                   once it has gone
    xdrive.py type WINDOW TEXT     type ASCII text
    xdrive.py wait-pixel WINDOW X Y R,G,B
                                   wait until that pixel shows that colour
    xdrive.py wait-red WINDOW X Y  wait until red shows within 3 px of it
    xdrive.py close WINDOW         ask the window to close (WM_DELETE_WINDOW)
    xdrive.py ping WINDOW          wait until its program has handled all input
    xdrive.py end WINDOW PID       close the window and, if the program asks
                                   about unsaved work, answer "Не сохранять";
                                   returns once the process has gone
"""
import os
import sys
import time

from Xlib import X, XK, Xatom, display, error, protocol
from Xlib.ext import xtest


TIMEOUT = float(os.environ.get("E2E_TIMEOUT") or 60)


class Timeout(Exception):
    pass


class WindowGone(Timeout):
    """The window awaited was destroyed: it will never answer."""


def wait_until(what, condition, timeout=None, step=0.02):
    """condition()'s first true value, polled every step seconds; Timeout
    naming what was awaited once timeout seconds (TIMEOUT) have gone by."""
    timeout = TIMEOUT if timeout is None else timeout
    end = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            raise Timeout("timed out after %.0f s waiting for %s" % (timeout, what))
        time.sleep(step)


class Display:
    def __init__(self, name=None):
        self.d = display.Display(name)
        self.root = self.d.screen().root
        # Answers to _NET_WM_PING go to the root window with one of these masks.
        self.root.change_attributes(event_mask=X.StructureNotifyMask | X.SubstructureNotifyMask)
        self.atom = lambda n: self.d.intern_atom(n)
        self._ping_serial = 0
        self._probe = None  # a window of ours that the window manager is asked about
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

    def wait_window(self, name, timeout=None):
        return wait_until("a window named %r" % name,
                          lambda: next(iter(self.windows_named(name)), None), timeout)

    def wait_gone(self, win, timeout=None):
        wait_until("window %#x (%r) to close" % (win.id, self.name_of(win)),
                   lambda: not self.viewable(win), timeout)

    def wm_running(self):
        return self.root.get_full_property(self.atom("_NET_SUPPORTING_WM_CHECK"), Xatom.WINDOW) is not None

    def wait_wm(self, timeout=None):
        """Returns once a window manager has taken the screen (it announces
        itself after it has claimed the root window's redirection)."""
        wait_until("the window manager", self.wm_running, timeout)

    def focused_is(self, win):
        """Whether the keyboard focus is on the window or inside it."""
        f = self.d.get_input_focus().focus
        if isinstance(f, int) or f is None:
            return False
        while True:
            if f.id == win.id:
                return True
            try:
                parent = f.query_tree().parent
            except error.XError:
                return False
            if isinstance(parent, int) or parent is None or parent.id in (self.root.id, 0):
                return False
            f = parent

    def wait_focus(self, win, timeout=None):
        wait_until("window %#x (%r) to take the keyboard" % (win.id, self.name_of(win)),
                   lambda: self.focused_is(win), timeout)

    def activate(self, win, timeout=None):
        """Gives the window the keyboard as a click on it or a pager would,
        and returns once it has it and its program has seen that (keys
        pressed earlier could reach a window the program does not yet
        count as active)."""
        wm = self.wm_running()
        asked = [None]

        def focused():
            if self.focused_is(win):
                return True
            now = time.monotonic()
            if asked[0] is None or now - asked[0] > 1.0:  # asked again now and then, in case it was lost
                asked[0] = now
                if wm:
                    ev = protocol.event.ClientMessage(
                        window=win, client_type=self.atom("_NET_ACTIVE_WINDOW"),
                        data=(32, [2, X.CurrentTime, 0, 0, 0]))  # 2: from a pager, which is obeyed
                    self.root.send_event(ev, event_mask=X.SubstructureRedirectMask | X.SubstructureNotifyMask)
                else:
                    self.d.set_input_focus(win, X.RevertToParent, X.CurrentTime)
                self.d.flush()
            return False
        wait_until("window %#x (%r) to take the keyboard" % (win.id, self.name_of(win)), focused, timeout)
        self.ping(win)

    def settle(self, win, moved_from=None, timeout=None):
        """Returns the client area (x, y, w, h) once the window is shown, a
        window manager has framed it (if one runs), its client origin is no
        longer moved_from, and its place and size hold over a round trip to
        the window manager and one to its program."""
        wm = self.wm_running()

        def placed():
            if not self.viewable(win):
                return None
            if wm and win.query_tree().parent.id == self.root.id:
                return None
            x, y = self.client_origin(win)
            if moved_from is not None and (x, y) == tuple(moved_from):
                return None
            before = (x, y) + self.client_size(win)
            self.wm_sync()
            self.ping(win)
            after = self.client_origin(win) + self.client_size(win)
            return after if after == before else None
        what = "window %#x (%r) to be placed and stay put" % (win.id, self.name_of(win))
        if moved_from is not None:
            what += ", away from (%d, %d)" % tuple(moved_from)
        return wait_until(what, placed, timeout)

    def wm_sync(self, timeout=None):
        """Returns once the window manager has handled everything it was sent
        before: it answers a request for the frame extents of a window of
        ours, and handles its events in order."""
        if not self.wm_running():
            return
        if self._probe is None:
            self._probe = self.root.create_window(-10, -10, 1, 1, 0, X.CopyFromParent,
                                                  event_mask=X.PropertyChangeMask)
        extents = self.atom("_NET_FRAME_EXTENTS")
        self._probe.delete_property(extents)
        self.d.sync()
        while self.d.pending_events():  # the deletion's own notice
            self.d.next_event()
        ev = protocol.event.ClientMessage(window=self._probe, client_type=self.atom("_NET_REQUEST_FRAME_EXTENTS"),
                                          data=(32, [0, 0, 0, 0, 0]))
        self.root.send_event(ev, event_mask=X.SubstructureRedirectMask | X.SubstructureNotifyMask)
        self.d.flush()

        def answered():
            while self.d.pending_events():
                e = self.d.next_event()
                if (e.type == X.PropertyNotify and e.window == self._probe and e.atom == extents
                        and e.state == X.PropertyNewValue):
                    return True
            return False
        wait_until("the window manager to answer a request for frame extents", answered, timeout, step=0.0005)

    def pixel(self, win, cx, cy):
        sx, sy = self.client_origin(win)
        return self.screenshot(sx + cx, sy + cy, 1, 1)(sx + cx, sy + cy)

    def red_near(self, win, cx, cy, reach=3):
        """Whether red shows within reach px of a client-area pixel (a
        measured point on the plot's edge is partly clipped away)."""
        ox, oy = self.client_origin(win)
        sx, sy = ox + cx, oy + cy
        pixel = self.screenshot(sx - reach, sy - reach, 2 * reach + 1, 2 * reach + 1)
        return any(r > 200 and g < 80 and b < 80
                   for r, g, b in (pixel(x, y) for x in range(sx - reach, sx + reach + 1)
                                   for y in range(sy - reach, sy + reach + 1)))

    def wait_pixel(self, win, cx, cy, rgb, timeout=None):
        """Waits until the client-area pixel shows that colour; the Timeout
        says which it showed last."""
        seen = [None]

        def shows():
            seen[0] = self.pixel(win, cx, cy)
            return seen[0] == tuple(rgb)
        try:
            wait_until("pixel (%d, %d) of window %#x to be %s" % (cx, cy, win.id, tuple(rgb)), shows, timeout)
        except Timeout as e:
            raise Timeout("%s; it is %s" % (e, seen[0]))

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

    def move(self, x, y, timeout=None):
        """Moves the pointer and waits until the server reports it there, so
        that whatever follows happens at that place."""
        x, y = int(x), int(y)
        xtest.fake_input(self.d, X.MotionNotify, x=x, y=y)

        def there():
            p = self.root.query_pointer()
            return (p.root_x, p.root_y) == (x, y)
        wait_until("the pointer to reach (%d, %d)" % (x, y), there, timeout, step=0.0005)

    def press(self, button):
        xtest.fake_input(self.d, X.ButtonPress, button)
        self.d.flush()

    def release(self, button, timeout=None):
        """Releases the button and waits until the server has done so. A
        window manager's click-to-focus grab holds a release back while it
        looks at the press, but lets motion through: moving on at once would
        deliver the release at the next place the pointer goes to."""
        xtest.fake_input(self.d, X.ButtonRelease, button)
        mask = X.Button1Mask << (button - 1) if button <= 5 else 0
        wait_until("button %d to come up" % button, lambda: not self.root.query_pointer().mask & mask,
                   timeout, step=0.0005)

    def click(self, button=1):
        self.press(button)
        self.release(button)

    def double_click(self, button=1, timeout=None):
        """Both clicks in one batch: the server stamps the second press
        within its interval of the first however slow this process or the
        window manager's click-to-focus grab is."""
        for _ in range(2):
            xtest.fake_input(self.d, X.ButtonPress, button)
            xtest.fake_input(self.d, X.ButtonRelease, button)
        self.d.flush()
        mask = X.Button1Mask << (button - 1) if button <= 5 else 0
        wait_until("button %d to come up" % button, lambda: not self.root.query_pointer().mask & mask,
                   timeout, step=0.0005)

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

    def ping(self, win, timeout=None):
        """Returns once the window's program has read everything sent so far.

        The _NET_WM_PING answer comes from the program's event loop; two in
        a row make sure that input queued before the first has reached the
        program's handlers. Not that every effect of it is out: a program
        can answer while a handler is still under way (one that has just
        started took its first copy to the clipboard after the answer, now
        and then). Where an effect is looked at, wait for the effect.
        """
        for _ in range(2):
            self._ping_serial += 1
            stamp = self._ping_serial
            ev = protocol.event.ClientMessage(
                window=win, client_type=self.atom("WM_PROTOCOLS"),
                data=(32, [self.atom("_NET_WM_PING"), stamp, win.id, 0, 0]))
            gone = error.CatchError(error.BadWindow)
            win.send_event(ev, onerror=gone)
            self.d.sync()
            if gone.get_error():
                raise WindowGone("window %#x is gone and cannot answer a ping" % win.id)
            self._await_ping(stamp, timeout, win)

    def exists(self, win):
        try:
            win.get_geometry()
            return True
        except error.XError:
            return False

    def _await_ping(self, stamp, timeout, win):
        ping = self.atom("_NET_WM_PING")
        checked = [time.monotonic()]

        def answered():
            while self.d.pending_events():
                e = self.d.next_event()
                if (e.type == X.ClientMessage and e.window == self.root
                        and e.data[1][0] == ping and e.data[1][1] == stamp):
                    return True
            if time.monotonic() - checked[0] > 0.5:  # a window that went (its program died) never answers
                checked[0] = time.monotonic()
                if not self.exists(win):
                    raise WindowGone("window %#x went before it answered a ping" % win.id)
            return False
        wait_until("window %#x to answer a ping" % win.id, answered, timeout, step=0.0005)

    def selection_owner(self, name="CLIPBOARD"):
        return self.d.get_selection_owner(self.atom(name))


def end_program(d, win, pid, timeout=None):
    d.close(win)

    def ended():
        try:
            os.kill(pid, 0)
        except ProcessLookupError:
            return True
        # The question's title is the program's name; its second button is "Не сохранять".
        for box in d.windows_named("Potencor"):
            d.activate(box)
            d.key("Tab")
            d.key("space")
            d.wait_gone(box)
        return False
    wait_until("process %d to end after its window was closed" % pid, ended, timeout)


def main(argv):
    d = Display()
    cmd, args = (argv[1], argv[2:]) if len(argv) > 1 else ("", [])
    try:
        if cmd == "wait-wm" and not args:
            d.wait_wm()
        elif cmd == "wait-window" and len(args) == 1:
            print(d.wait_window(args[0]).id)
        elif cmd == "shown" and len(args) == 1:
            return 0 if d.windows_named(args[0]) else 1
        elif cmd == "wait-gone" and len(args) == 1:
            d.wait_gone(d.window(args[0]))
        elif cmd == "activate" and len(args) == 1:
            d.activate(d.window(args[0]))
        elif cmd == "settle" and len(args) in (1, 3):
            print("%d %d %d %d" % d.settle(d.window(args[0]), [int(v) for v in args[1:]] or None))
        elif cmd in ("move", "click") and len(args) in (3, 4):
            win = d.window(args[0])
            x, y = d.client_origin(win)
            d.move(x + int(args[1]), y + int(args[2]))
            if cmd == "click":
                d.click(int(args[3]) if len(args) == 4 else 1)
            d.ping(win)
        elif cmd == "key" and len(args) >= 2:
            for combo in args[1:]:
                d.key(combo)
            d.ping(d.window(args[0]))
        elif cmd == "key-close" and len(args) >= 2:
            win = d.window(args[0])
            for combo in args[1:]:
                d.key(combo)
            d.wait_gone(win)
        elif cmd == "type" and len(args) == 2:
            d.type_text(args[1])
            d.ping(d.window(args[0]))
        elif cmd == "wait-pixel" and len(args) == 4:
            d.wait_pixel(d.window(args[0]), int(args[1]), int(args[2]), [int(v) for v in args[3].split(",")])
        elif cmd == "wait-red" and len(args) == 3:
            win, x, y = d.window(args[0]), int(args[1]), int(args[2])
            wait_until("red within 3 px of pixel (%d, %d) of window %#x" % (x, y, win.id),
                       lambda: d.red_near(win, x, y))
        elif cmd == "close" and len(args) == 1:
            d.close(d.window(args[0]))
        elif cmd == "end" and len(args) == 2:
            end_program(d, d.window(args[0]), int(args[1]))
        elif cmd == "ping" and len(args) == 1:
            d.ping(d.window(args[0]))
        else:
            sys.stderr.write(__doc__)
            return 2
    except Timeout as e:
        sys.stderr.write("xdrive %s: %s\n" % (cmd, e))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
