"""What a screen reader learns over AT-SPI, through Qt's own bridge, on a bus
of the test's own (test_accessibility.sh starts it): the start-up warning and
the question on closing read in full, a name for every control the keyboard
reaches in the main window and the About window, the chart's reading after
the probe moved (with a value-change event) and the protocol's new line
after Enter.

usage: accessibility.py BINARY   (under dbus-run-session, with
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1)
"""
import os
import subprocess
import sys
import tempfile

import pyatspi
from gi.repository import GLib

from student import Desktop, check, run_scenarios, wait_until

WARNING = ("Перед выполнением работы установите в \"Параметрах экрана\" значение \"Масштаба\" 100%!!!")
CLOSING = "Протокол не сохранён в файл. Сохранить его перед выходом из программы?"


def pump():
    """Lets AT-SPI events that have come in reach their listeners."""
    context = GLib.MainContext.default()
    while context.pending():
        context.iteration(False)


def descendants(obj):
    """The object and all below it, depth first."""
    stack = [obj]
    while stack:
        o = stack.pop()
        if o is None:
            continue
        yield o
        try:
            stack.extend(o[i] for i in range(o.childCount - 1, -1, -1))
        except Exception:  # noqa: BLE001 (gone meanwhile)
            pass


def fresh(obj):
    obj.clearCache()
    return obj


def states(obj):
    return fresh(obj).getState()


def application(pid):
    def found():
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            try:
                if app is not None and app.get_process_id() == pid:
                    return app
            except Exception:  # noqa: BLE001 (an application that went)
                continue
        return None
    return wait_until("the program on the AT-SPI bus", found)


def window(app, title):
    def shown():
        for w in fresh(app):
            if w is not None and w.name == title and states(w).contains(pyatspi.STATE_SHOWING):
                return w
        return None
    return wait_until("a window %r over AT-SPI" % title, shown)


def texts_of(win, role):
    return [fresh(o).name for o in descendants(win) if o.getRole() == role]


def focusable_without_name(win):
    """Every control that shows and takes the keyboard, with no name."""
    missing, seen = [], 0
    for o in descendants(win):
        s = states(o)
        if o is win or not (s.contains(pyatspi.STATE_FOCUSABLE) and s.contains(pyatspi.STATE_SHOWING)):
            continue
        seen += 1
        if not o.name.strip():
            missing.append("%s (%s)" % (o.getRoleName(), o.description))
    check(seen > 0, "no focusable control found in %r" % win.name)
    return missing


def only(win, predicate, what):
    found = [o for o in descendants(win) if predicate(o)]
    check(len(found) == 1, "%d %s found" % (len(found), what))
    return found[0] if found else None


def text_of(obj):
    t = fresh(obj).queryText()
    return t.getText(0, -1)


def scenario_screen_reader():
    env = dict(os.environ, XDG_STATE_HOME=tempfile.mkdtemp(prefix="state-", dir=DESK.tmp),
               LC_NUMERIC="ru_RU.UTF-8")  # the separator a Russian student has: a comma
    log = open(os.path.join(DESK.tmp, "app.log"), "wb")
    proc = subprocess.Popen([BINARY], env=env, stdout=log, stderr=subprocess.STDOUT)
    try:
        x = DESK.x
        app = application(proc.pid)

        # The warning, read in full, and its button.
        warning = window(app, "Warning")
        check(WARNING in texts_of(warning, pyatspi.ROLE_LABEL), "the warning's text over AT-SPI: %r"
              % texts_of(warning, pyatspi.ROLE_LABEL))
        check(texts_of(warning, pyatspi.ROLE_PUSH_BUTTON) == ["OK"], "the warning's buttons")
        box = x.wait_window("Warning")
        x.activate(box)
        x.key("Return")
        x.wait_gone(box)

        main = window(app, "Потенкор")
        main_x = x.wait_window("Потенкор")
        x.activate(main_x)
        missing = focusable_without_name(main)
        check(not missing, "controls of the main window without a name: %s" % missing)

        chart = only(main, lambda o: o.getRole() == pyatspi.ROLE_CHART, "charts")
        memo = only(main, lambda o: o.getRole() == pyatspi.ROLE_TEXT and o.name == "Протокол измерений",
                    "protocol boxes")
        check(chart.name == "Плоскость измерений 42,83 × 30 см", "the chart's name %r" % chart.name)
        check(fresh(chart).description == "Измерено точек: 0", "the chart's description %r" % chart.description)
        check("Value" in pyatspi.listInterfaces(chart), "the chart has no value interface")

        values = []
        pyatspi.Registry.registerEventListener(
            lambda e: values.append(e.source), "object:property-change:accessible-value")

        def readout():
            labels = {o.name.split("=")[0].strip(): o.name.split("=", 1)[1]
                      for o in (fresh(o) for o in descendants(main)) if o.getRole() == pyatspi.ROLE_LABEL
                      and o.name.split("=")[0].strip() in ("x", "y", "phi")}
            return "x = %s, y = %s, phi = %s" % (labels.get("x"), labels.get("y"), labels.get("phi"))

        # The plot's corner, which measures (0, 0) at 4.672 V.
        x.key("Home")
        x.key("Next")
        x.ping(main_x)
        corner = "x = 0,000 см, y = 0,000 см, phi = 4,672 В"
        wait_until("the chart's value %r" % corner, lambda: text_of(chart) == corner)
        check(readout() == corner, "the readout %r" % readout())
        for _ in range(25):
            x.key("Right")
        x.key("Up")
        x.ping(main_x)
        wait_until("the chart's value to follow the probe", lambda: text_of(chart) != corner)
        check(text_of(chart) == readout(), "the chart's value %r is not the readout %r" % (text_of(chart), readout()))
        # The value as a number: the potential the readout shows.
        shown_V = float(readout().split("phi = ")[1].split(" ")[0].replace(",", "."))
        number = fresh(chart).queryValue().currentValue
        check(abs(number - shown_V) < 0.0005, "the chart's number %r is not the potential %r" % (number, shown_V))

        def heard():
            pump()
            return any(v == chart for v in values)
        wait_until("a value-change event from the chart", heard)

        print("the chart reads %r, described as %r" % (text_of(chart), chart.description), flush=True)
        x.key("Return")
        x.ping(main_x)
        line = "0: x=1,114см y=0,044см phi="
        wait_until("the protocol to end with the new line over AT-SPI", lambda: line in text_of(memo))
        protocol = text_of(memo)
        check(protocol.rstrip("\n").split("\n")[-1].startswith(line) and protocol.rstrip().endswith(" В"),
              "the protocol over AT-SPI: %r" % protocol)
        written = protocol.rstrip("\n").split("\n")[-1]
        print("the protocol box reads %r" % protocol, flush=True)
        wait_until("the chart to say what it wrote", lambda: text_of(chart) == "Записано: " + written)
        check(fresh(chart).description == "Измерено точек: 1", "the chart's description %r" % chart.description)

        # The About window: Tab to "О программе", the seventh control after the chart.
        for _ in range(7):
            x.key("Tab")
        x.key("space")
        about = window(app, "Описание программы")
        missing = focusable_without_name(about)
        check(not missing, "controls of the About window without a name: %s" % missing)
        picture = only(about, lambda o: o.getRole() == pyatspi.ROLE_IMAGE, "pictures")
        check(picture is not None and picture.name == "Два заряженных цилиндра и плоскость измерений",
              "the picture's name %r" % (picture and picture.name))
        about_x = x.wait_window("Описание программы")
        x.close(about_x)
        x.wait_gone(about_x)

        # Closing with unsaved work: the question, read in full, and its answers.
        x.close(main_x)
        question = window(app, "Potencor")
        check(CLOSING in texts_of(question, pyatspi.ROLE_LABEL), "the question over AT-SPI: %r"
              % texts_of(question, pyatspi.ROLE_LABEL))
        check(texts_of(question, pyatspi.ROLE_PUSH_BUTTON) == ["Сохранить", "Не сохранять", "Отмена"],
              "the question's buttons: %r" % texts_of(question, pyatspi.ROLE_PUSH_BUTTON))
        print("the question reads %r" % texts_of(question, pyatspi.ROLE_LABEL), flush=True)
        box = x.wait_window("Potencor")
        x.activate(box)
        x.key("Tab")
        x.key("space")
        wait_until("the program to end", lambda: proc.poll() is not None)
        check(proc.returncode == 0, "the program ended with status %s" % proc.returncode)
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()
        log.close()
        with open(os.path.join(DESK.tmp, "app.log"), "rb") as f:
            out = f.read().decode("utf-8", "replace")
        if out.strip():
            print("-- the program's output:\n" + out, file=sys.stderr)


SCENARIOS = {"screen_reader": scenario_screen_reader}


def main():
    global BINARY, DESK
    BINARY = os.path.abspath(sys.argv[1])
    DESK = Desktop()
    try:
        return run_scenarios("accessibility", SCENARIOS, list(SCENARIOS))
    finally:
        DESK.close()


if __name__ == "__main__":
    sys.exit(main())
