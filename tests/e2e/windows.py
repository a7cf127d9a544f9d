"""The windows on the desktop: the main window's frame centred on the work
area and never with its title bar off-screen, the About window owned by the
main window (transient for it, no task-bar entry, minimised with it), every
box and dialog above the About window and answerable while it is up, what
the boxes' frames offer, the file dialogs shown again where they were, and
the chart's axis labels lit up under the pointer.

usage: windows.py BINARY [SCENARIO ...]
"""
import os
import subprocess
import sys
import tempfile

from Xlib import Xatom

from student import (MAIN_TITLE, MEMO, QUESTION_TITLE, SAVE_BUTTON, Desktop, Program, check, run_scenarios,
                     wait_until)

ABOUT_TITLE = "Описание программы"
ABOUT_BUTTON = (907, 757)
MAIN_CLIENT = (1246, 775)
def work_area(d):
    prop = d.x.root.get_full_property(d.x.atom("_NET_WORKAREA"), Xatom.CARDINAL)
    if prop is None:  # no window manager: the whole screen
        g = d.x.root.get_geometry()
        return 0, 0, g.width, g.height
    return tuple(int(v) for v in prop.value[:4])


def start(d, **env):
    os.environ.update(env)
    try:
        return Program(d, BINARY, tempfile.mkdtemp(prefix="state-", dir=d.tmp))
    finally:
        for k in env:
            del os.environ[k]


def show_about(p):
    p.click(ABOUT_BUTTON)
    about = p.x.wait_window(ABOUT_TITLE)
    p.x.ping(about)
    return about


def net_wm_state(x, win):
    prop = win.get_full_property(x.atom("_NET_WM_STATE"), Xatom.ATOM)
    return {x.d.get_atom_name(a) for a in prop.value} if prop is not None else set()


def transient_for(win):
    prop = win.get_full_property(Xatom.WM_TRANSIENT_FOR, Xatom.WINDOW)
    return int(prop.value[0]) if prop is not None and len(prop.value) else None


def check_owned(p, about):
    # Made native by the way its hints are set, the About window would turn
    # every control of its owner into an X window of its own.
    native = [c for c in p.main.query_tree().children if p.x.viewable(c)]
    check(not native, "the main window's controls became X windows: %s" % [hex(c.id) for c in native])
    check(transient_for(about) == p.main.id, "About window is not transient for the main window: %r vs %#x"
          % (transient_for(about), p.main.id))
    states = net_wm_state(p.x, about)
    check("_NET_WM_STATE_SKIP_TASKBAR" in states, "About window has a task-bar entry: %s" % sorted(states))
    check("_NET_WM_STATE_ABOVE" in states, "About window is not kept on top: %s" % sorted(states))


# ---------------------------------------------------------------------------

def scenario_centred():
    """1600 x 1000 under openbox: the frame, title bar included, centred on
    the work area."""
    d = Desktop("1600x1000x24")
    try:
        p = start(d)
        wx, wy, ww, wh = work_area(d)
        fx, fy, fw, fh = d.x.frame_geometry(p.main)
        check(fh > MAIN_CLIENT[1], "the window manager put no title bar on the window")
        want = (wx + (ww - fw) // 2, wy + (wh - fh) // 2)
        check((fx, fy) == want, "frame at %s, centred would be %s" % ((fx, fy), want))
    finally:
        Program.kill_all()
        d.close()


def scenario_larger_than_screen():
    """A window larger than the work area (a 1024 x 768 screen, or 1.75 times
    the size on 1600 x 1000): its title bar and top-left corner on screen."""
    for size, env in (("1024x768x24", {}), ("1600x1000x24", {"QT_SCALE_FACTOR": "1.75"})):
        d = Desktop(size)
        try:
            p = start(d, **env)
            wx, wy, _, _ = work_area(d)
            fx, fy, _, _ = d.x.frame_geometry(p.main)
            check((fx, fy) == (wx, wy), "%s %s: frame at %s, not at the work area's corner %s"
                  % (size, env, (fx, fy), (wx, wy)))
        finally:
            Program.kill_all()
            d.close()


def scenario_about_owned():
    """The About window belongs to the main window: transient for it, no
    task-bar entry of its own, hidden while the main window is minimised and
    back with it, where it was; the same after it has been closed and shown
    again."""
    d = Desktop("1600x1000x24")
    try:
        p = start(d)
        about = show_about(p)
        check_owned(p, about)
        where = d.x.frame_geometry(about)
        main_where = d.x.frame_geometry(p.main)
        subprocess.run(["xdotool", "windowminimize", "--sync", str(p.main.id)], timeout=30, check=True)
        wait_until("the About window to hide with the main window", lambda: not d.x.viewable(about))
        p.activate(p.main)
        wait_until("the About window to come back", lambda: d.x.viewable(about))
        # openbox animates the restore: both windows end where they were.
        try:
            wait_until("both windows back in place", lambda: d.x.frame_geometry(p.main) == main_where
                       and d.x.frame_geometry(about) == where)
        except Exception:
            check(False, "after the restore the main window is at %s (was %s), the About window at %s (was %s)"
                  % (d.x.frame_geometry(p.main), main_where, d.x.frame_geometry(about), where))
        p.x.ping(about)
        # Closed (withdrawn) and shown again: the hints must be set anew.
        p.x.close(about)
        d.x.wait_gone(about)
        check(p.alive(), "closing the About window ended the program")
        about = show_about(p)
        check_owned(p, about)
    finally:
        Program.kill_all()
        d.close()


def scenario_no_window_manager():
    """Without a window manager: the client area centred on the screen, and
    the About window carries the same hints for whatever manager comes."""
    d = Desktop("1600x1000x24", window_manager=False)
    try:
        p = start(d)
        want = ((1600 - MAIN_CLIENT[0]) // 2, (1000 - MAIN_CLIENT[1]) // 2)
        check(p.origin == want, "client area at %s, centred would be %s" % (p.origin, want))
        check_owned(p, show_about(p))
    finally:
        Program.kill_all()
        d.close()


def scenario_axis_label_hover():
    """The pointer over the bottom axis's "10" and the left axis's "15" turns
    that label red; moving on turns it black again."""
    d = Desktop("1600x1000x24")
    try:
        p = start(d)
        # About 27 px from the chart's left edge and 678 px below its top is
        # the plot's lower-left corner; 962 px span 42.85 cm, 677 px 30 cm.
        strips = {"bottom 10": (int(27 + 10 * 962 / 42.85) - 9, 686, 19, 14),
                  "left 15": (0, int(678 - 15 * 677 / 30) - 7, 20, 15)}
        for name, (cx, cy, w, h) in strips.items():
            sx, sy = p.screen((cx, cy))

            def pixels():
                shot = d.x.screenshot(sx, sy, w, h)
                return [shot(x, y) for x in range(sx, sx + w) for y in range(sy, sy + h)]

            def red():
                return sum(1 for r, g, b in pixels() if r > 200 and g < 128 and b < 128)
            ink = [(x, y) for x in range(sx, sx + w) for y in range(sy, sy + h)
                   if max(d.x.screenshot(x, y, 1, 1)(x, y)) < 128]
            if not ink:
                check(False, "%s: no label text on the screen" % name)
                continue
            check(red() == 0, "%s: red before the pointer came" % name)
            centre = (sum(x for x, _ in ink) // len(ink), sum(y for _, y in ink) // len(ink))
            d.x.move(*centre)
            try:
                wait_until("%s to turn red" % name, lambda: red() >= len(ink) // 2)
            except Exception as e:
                check(False, str(e))
            p.x.move(*p.screen((500, 300)))
            try:
                wait_until("%s to turn black again" % name, lambda: red() == 0)
            except Exception as e:
                check(False, str(e))
    finally:
        Program.kill_all()
        d.close()


def stacking(d):
    """Client windows from the bottom of the stack to its top."""
    prop = d.x.root.get_full_property(d.x.atom("_NET_CLIENT_LIST_STACKING"), Xatom.WINDOW)
    return [int(w) for w in prop.value] if prop is not None else []


def check_above(d, win, about, what):
    order = stacking(d)
    check(win.id in order and about.id in order and order.index(win.id) > order.index(about.id),
          "%s is under the About window: stacking %s, it %#x, About %#x"
          % (what, [hex(w) for w in order], win.id, about.id))


def click_last_button(d, box):
    """Clicks the button at the box's lower right: its last in the row."""
    x, y = d.x.client_origin(box)
    w, h = d.x.client_size(box)
    d.x.move(x + w - 50, y + h - 22)
    d.x.click()


def wait_dialog(p, title=None):
    """A file dialog: a window that is none of the program's others."""
    def found():
        for t, w in p.x.visible_titles():
            if (title is None or t == title) and t not in (MAIN_TITLE, QUESTION_TITLE, ABOUT_TITLE, "Warning"):
                return w
        return None
    return wait_until("a file dialog", found)


def save_where_no_folder_is(d, p):
    """Saves through the dialog into a folder that does not exist: the
    error box and the dialog under it."""
    p.click(SAVE_BUTTON)
    dialog = wait_dialog(p)
    p.activate(dialog)
    d.x.key("ctrl+a")
    d.x.type_text("/nonexistent/folder/x.txt")
    d.x.key("Return")
    box = d.x.wait_window(QUESTION_TITLE)
    p.x.ping(box)
    return box, dialog


def scenario_boxes_above_about():
    """With the About window up (it stays above the main window), every box
    and dialog the program shows comes above it, and a click on its button
    answers it: the question before opening, the question on closing, the
    save dialog, the encoding question over it and the error box."""
    d = Desktop("1600x1000x24")
    try:
        p = start(d)
        p.measure((100, 100))  # above where the About window goes
        about = show_about(p)
        p.activate(p.main)
        d.x.key("ctrl+o")
        box = d.x.wait_window(QUESTION_TITLE)
        p.x.ping(box)
        check_above(d, box, about, "the question before opening")
        click_last_button(d, box)  # "Отмена"
        d.x.wait_gone(box)
        p.x.ping(p.main)
        check(not [t for t, _ in d.x.visible_titles() if t == "Открыть протокол"], "the open dialog came")

        p.x.close(p.main)
        box = d.x.wait_window(QUESTION_TITLE)
        p.x.ping(box)
        check_above(d, box, about, "the question on closing")
        click_last_button(d, box)  # "Отмена"
        d.x.wait_gone(box)
        p.x.ping(p.main)
        check(p.alive(), "the program ended: the wrong button took the click")

        # A character ANSI cannot hold: the encoding question comes.
        p.paste_in_memo("\u4e2d\n")
        p.click(SAVE_BUTTON)
        dialog = wait_dialog(p)
        p.x.ping(dialog)
        check_above(d, dialog, about, "the save dialog")
        p.activate(dialog)
        path = os.path.join(d.tmp, "above.txt")
        d.x.key("ctrl+a")
        d.x.type_text(path)
        d.x.key("Return")
        box = d.x.wait_window(QUESTION_TITLE)
        p.x.ping(box)
        check_above(d, box, about, "the encoding question")
        click_last_button(d, box)  # "Выбрать другую кодировку": UTF-8 selected
        d.x.wait_gone(box)
        p.activate(dialog)
        d.x.key("Return")
        d.x.wait_gone(dialog)
        p.x.ping(p.main)
        with open(path, "rb") as f:
            saved = f.read()
        check(saved.startswith(b"\xef\xbb\xbf0: x=") and "\u4e2d".encode() in saved,
              "not saved in UTF-8 after the encoding question: %r" % saved[:80])

        box, dialog = save_where_no_folder_is(d, p)
        check_above(d, box, about, "the error box")
        click_last_button(d, box)  # "OK"
        d.x.wait_gone(box)
        d.x.wait_gone(dialog)
        p.x.ping(p.main)
        check(d.x.viewable(about), "the About window went")
    finally:
        Program.kill_all()
        d.close()


MWM_HINTS_FUNCTIONS, MWM_FUNC_ALL, MWM_FUNC_MINIMIZE, MWM_FUNC_MAXIMIZE, MWM_FUNC_CLOSE = 1, 1, 8, 16, 32
MWM_HINTS_DECORATIONS, MWM_DECOR_ALL, MWM_DECOR_MINIMIZE, MWM_DECOR_MAXIMIZE = 2, 1, 32, 64


def check_box_frame(d, box, what, close_box):
    """What a box's frame may offer: never minimise or maximise (a box is
    answered, not put away), a close box only where closing answers it; a
    title bar all the same. The program says so in its Motif hints, which
    window managers follow for buttons (openbox keeps a minimise button and
    the close box whatever a window asks, by design)."""
    prop = box.get_full_property(d.x.atom("_MOTIF_WM_HINTS"), 0)
    hints = list(prop.value) if prop is not None else []
    check(len(hints) >= 3 and hints[0] & MWM_HINTS_FUNCTIONS, "%s: no Motif functions: %s" % (what, hints))
    if len(hints) < 3:
        return
    functions = hints[1]
    check(not functions & (MWM_FUNC_ALL | MWM_FUNC_MINIMIZE | MWM_FUNC_MAXIMIZE),
          "%s: may be minimised or maximised: functions %#x" % (what, functions))
    check(bool(functions & MWM_FUNC_CLOSE) == close_box,
          "%s: close %s, expected %s: functions %#x" % (what, bool(functions & MWM_FUNC_CLOSE), close_box, functions))
    if hints[0] & MWM_HINTS_DECORATIONS:
        check(not hints[2] & (MWM_DECOR_ALL | MWM_DECOR_MINIMIZE | MWM_DECOR_MAXIMIZE),
              "%s: minimise or maximise buttons asked for: decorations %#x" % (what, hints[2]))
    actions = box.get_full_property(d.x.atom("_NET_WM_ALLOWED_ACTIONS"), Xatom.ATOM)
    names = {d.x.d.get_atom_name(a) for a in actions.value} if actions is not None else set()
    check(not names & {"_NET_WM_ACTION_MAXIMIZE_HORZ", "_NET_WM_ACTION_MAXIMIZE_VERT"},
          "%s: the window manager lets it be maximised: %s" % (what, sorted(names)))
    check(d.x.frame_extents(box)[2] > 1, "%s: no title bar" % what)


def scenario_box_frames():
    """The recovery offer has no close box (a choice must be made), the
    question on closing and the error box have one; none can be minimised
    or maximised."""
    d = Desktop("1600x1000x24")
    try:
        state = tempfile.mkdtemp(prefix="state-", dir=d.tmp)
        p = Program(d, BINARY, state)
        p.measure((508, 340))
        journal = os.path.join(state, "potencor")
        wait_until("the journal to hold the measurement", lambda: any(
            os.path.getsize(os.path.join(journal, f)) > 100 for f in os.listdir(journal) if f.endswith(".journal")))
        p.kill()

        def offer(q):
            box = d.x.wait_window(QUESTION_TITLE)
            q.x.ping(box)
            check_box_frame(d, box, "the recovery offer", close_box=False)
            q.answer_question("restore")
        p = Program(d, BINARY, state, answer_recovery=offer)
        p.x.close(p.main)
        box = d.x.wait_window(QUESTION_TITLE)
        p.x.ping(box)
        check_box_frame(d, box, "the question on closing", close_box=True)
        p.answer_question("cancel")
        box, dialog = save_where_no_folder_is(d, p)
        check_box_frame(d, box, "the error box", close_box=True)
        p.press_in_box(QUESTION_TITLE, "Return")
        d.x.wait_gone(dialog)
    finally:
        Program.kill_all()
        d.close()


def scenario_dialogs_keep_their_place():
    """The save and open dialogs come back where they were, not a title bar
    lower each time."""
    d = Desktop("1600x1000x24")
    try:
        p = start(d)
        for what, show, title in (("save", lambda: p.click(SAVE_BUTTON), None),
                                  ("open", lambda: (p.activate(p.main), d.x.key("ctrl+o")), "Открыть протокол")):
            places = []
            for _ in range(3):
                show()
                dialog = wait_dialog(p, title)
                d.x.settle(dialog)
                places.append(d.x.frame_geometry(dialog))
                p.activate(dialog)
                d.x.key("Escape")
                d.x.wait_gone(dialog)
                p.x.ping(p.main)
            check(places[1] == places[0] and places[2] == places[0],
                  "the %s dialog moved between showings: %s" % (what, places))
    finally:
        Program.kill_all()
        d.close()


SCENARIOS = {name[len("scenario_"):]: f for name, f in sorted(globals().items()) if name.startswith("scenario_")}


def main():
    global BINARY
    BINARY = os.path.abspath(sys.argv[1])
    return run_scenarios("windows", SCENARIOS, sys.argv[2:] or list(SCENARIOS))


if __name__ == "__main__":
    sys.exit(main())
