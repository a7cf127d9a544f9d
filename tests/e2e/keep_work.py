"""Nothing a student does is lost: the save dialog leaves nothing behind that
eats the next click, Tab never edits the protocol, closing with unsaved work
asks first, a killed program's work comes back, and saved protocols open
again in every encoding the program writes, and a failed save (a file-size
limit, a FIFO whose reader leaves) is an error, never the program's end.

usage: keep_work.py BINARY [SCENARIO ...]
"""
import codecs
import os
import select
import subprocess
import sys
import tempfile
import threading
import time

from student import (TIMEOUT, Desktop, Program, SAVE_BUTTON, UNDO_BUTTON, LABELS_BOX, check, run_scenarios,
                     wait_until)

def fresh_state():
    return tempfile.mkdtemp(prefix="state-", dir=DESK.tmp)


def journals(state):
    folder = os.path.join(state, "potencor")
    return sorted(f for f in os.listdir(folder) if f.endswith(".journal")) if os.path.isdir(folder) else []


def read_cp1251(path):
    with open(path, "rb") as f:
        return f.read().decode("cp1251")


# ---------------------------------------------------------------------------

def scenario_completer():
    """Saving over an existing file by typing its full path: the name
    completer's popup must go with the dialog, and the next click measures."""
    p = Program(DESK, BINARY, fresh_state())
    p.measure((508, 340))
    path = os.path.join(DESK.tmp, "completer.txt")
    p.save_as(path)
    p.save_as(path)  # the completer now offers the existing file while the path is typed
    popups = p.x.popup_windows()
    if popups:
        subprocess.run(["import", "-window", "root", "/tmp/potencor-popup.png"], check=False)
    check(not popups, "a popup of the save dialog stayed on screen: %s"
          % [(hex(w.id), w.get_geometry()._data) for w in popups])
    p.measure((300, 300))
    text = p.memo_text()
    check(text.count("\n") == 2, "the click after the save did not measure: %r" % text)
    p.save_as(path)
    p.close_window()
    check(p.wait_exit() == 0, "program did not end normally")


def scenario_tab():
    """Ctrl+A then Tab in the protocol box moves on and changes nothing."""
    p = Program(DESK, BINARY, fresh_state())
    p.measure((508, 340))
    p.type_in_memo("note")
    before = p.memo_text()
    p.click((1127, 400))
    p.x.key("ctrl+a")
    p.x.key("Tab")
    p.x.key("shift+Tab")
    p.x.key("shift+Tab")
    p.x.ping(p.main)
    after = p.memo_text()
    check(after == before, "Tab edited the protocol: %r became %r" % (before, after))
    path = os.path.join(DESK.tmp, "tab.txt")
    p.save_as(path)
    check("\t" not in read_cp1251(path), "a tab reached the saved file")
    p.close_window()
    check(p.wait_exit() == 0, "program did not end normally")


def scenario_close():
    """The question on closing: nothing to lose, cancel, a failed save,
    save, don't save."""
    state = fresh_state()
    p = Program(DESK, BINARY, state)
    p.close_window()
    check(p.wait_exit() == 0, "closing with nothing to lose did not end the program")
    check(journals(state) == [], "the journal outlived a normal end")

    p = Program(DESK, BINARY, state)
    p.measure((508, 340))
    p.close_window()
    p.answer_question("cancel")
    p.x.ping(p.main)
    check(p.alive() and p.x.viewable(p.main), "cancel ended the program")
    # Save, but into a folder that does not exist: the error, and the program stays.
    p.close_window()
    p.answer_question("save")
    p.fill_file_dialog("/nonexistent-folder/x.txt", error_box=True)
    p.x.ping(p.main)
    check(p.alive(), "a failed save at closing ended the program")
    # Save for real: the program ends once the file is there.
    path = os.path.join(DESK.tmp, "at-close.txt")
    p.close_window()
    p.answer_question("save")
    p.fill_file_dialog(path, ends_program=True)
    check(p.wait_exit() == 0, "saving at closing did not end the program")
    check(os.path.exists(path) and read_cp1251(path).startswith("0: x="), "the file saved at closing is wrong")

    p = Program(DESK, BINARY, state)
    p.measure((508, 340))
    p.type_in_memo("x")
    p.close_window()
    p.answer_question("discard")
    check(p.wait_exit() == 0, "don't save did not end the program")
    check(journals(state) == [], "the journal outlived don't save")

    # Saved, then closed: nothing to ask.
    p = Program(DESK, BINARY, state)
    p.measure((508, 340))
    p.save_as(os.path.join(DESK.tmp, "saved.txt"))
    p.close_window()
    check(p.wait_exit() == 0, "closing after a save asked or failed")


def scenario_kill_and_restore():
    """Measure, label, edit; SIGKILL; start again and restore: the same
    protocol and the same chart, and measuring and undo go on from there."""
    state = fresh_state()
    p = Program(DESK, BINARY, state)
    for at in [(508, 340), (764, 340), (150, 600)]:
        p.measure(at)
    p.click(LABELS_BOX)
    p.type_in_memo("Ivanov 101 ")
    p.paste_in_memo("ZQXJ")
    # The journal holds the typed text once it has reached the disk.
    marker = "ZQXJ".encode("utf-16-le")
    folder = os.path.join(state, "potencor")

    def journaled():
        for name in journals(state):
            with open(os.path.join(folder, name), "rb") as f:
                if marker in f.read():
                    return True
        return False
    wait_until("the journal to catch up", journaled)
    text_before = p.memo_text()
    chart_before = p.chart_pixels()
    saved_before = os.path.join(DESK.tmp, "before-kill.txt")
    p.save_as(saved_before)
    p.kill()

    p = Program(DESK, BINARY, state, answer_recovery="restore")
    text_after = p.memo_text()
    check(text_after == text_before, "restored protocol differs: %r, was %r" % (text_after, text_before))
    check(p.chart_pixels() == chart_before, "restored chart differs from the chart before the crash")
    check(len(journals(state)) == 1, "old and new journals: %s" % journals(state))
    saved_after = os.path.join(DESK.tmp, "after-restore.txt")
    p.save_as(saved_after)
    with open(saved_before, "rb") as a, open(saved_after, "rb") as b:
        check(a.read() == b.read(), "the protocol file saved after the restore differs from the one before the crash")
    p.measure((600, 200))
    measured = p.memo_text()
    check(measured.startswith(text_before + "\n3: x="), "the measurement after the restore: %r" % measured)
    p.click(UNDO_BUTTON)
    undone = p.memo_text()
    check(undone == text_before + "\n", "undo after the restore left %r" % undone)
    p.close_window()
    p.answer_question("discard")
    check(p.wait_exit() == 0, "program did not end normally after a restore")
    check(journals(state) == [], "journals left after a normal end: %s" % journals(state))


def scenario_sigterm():
    """SIGTERM with unsaved work: the journal is current, and the program
    asks like the close box does."""
    state = fresh_state()
    p = Program(DESK, BINARY, state)
    p.measure((508, 340))
    p.paste_in_memo("TRMX")
    p.proc.terminate()
    wait_until("the question", p.question_shown)
    marker = "TRMX".encode("utf-16-le")
    folder = os.path.join(state, "potencor")
    contents = b"".join(open(os.path.join(folder, n), "rb").read() for n in journals(state))
    check(marker in contents, "the journal was not current when SIGTERM was answered")
    p.answer_question("discard")
    check(p.wait_exit() == 0, "SIGTERM then don't save did not end the program")


SAMPLE = ["Иванов И., группа 101", "0: x=21.425см y=14.978см phi=6.300 В", "опыт 2",
          "3: x=0.000см y=0.000см phi=4.672 В", "4: x=32.828см y=14.978см phi=12.600 В"]
# Where those points sit on the chart, client px.
SAMPLE_PIXELS = [(508, 340), (27, 678), (764, 340)]


def encoded(text, encoding):
    if encoding == "ansi":
        return text.encode("cp1251")
    if encoding == "ascii":
        return text.encode("ascii", "replace")
    if encoding == "utf-16-le":
        return codecs.BOM_UTF16_LE + text.encode("utf-16-le")
    if encoding == "utf-16-be":
        return codecs.BOM_UTF16_BE + text.encode("utf-16-be")
    if encoding == "utf-8":
        return codecs.BOM_UTF8 + text.encode("utf-8")
    return text.encode("utf-7")


def scenario_reopen():
    """Ctrl+O on files in each of the six encodings, with either separator:
    the text as it stands, the points on the chart, the counter after the
    highest number."""
    state = fresh_state()
    p = Program(DESK, BINARY, state)
    first = True
    for encoding in ["ansi", "ascii", "utf-16-le", "utf-16-be", "utf-8", "utf-7"]:
        for separator in [".", ","]:
            lines = [l.replace(".", separator) if l[0].isdigit() else l for l in SAMPLE]
            text = "\r\n".join(lines) + "\r\n"
            path = os.path.join(DESK.tmp, "reopen-%s-%s.txt" % (encoding, "comma" if separator == "," else "stop"))
            with open(path, "wb") as f:
                f.write(encoded(text, encoding))
            p.x.key("ctrl+o")
            if not first:  # the point measured below is not saved
                p.answer_question("discard")
            first = False
            p.fill_file_dialog(path)
            expected = text.replace("\r\n", "\n")
            if encoding == "ascii":
                expected = expected.encode("ascii", "replace").decode()
            got = p.memo_text()
            check(got == expected, "%s %s: the box shows %r" % (encoding, separator, got))
            for at in SAMPLE_PIXELS:
                check(p.red_near(at), "%s %s: no point at %s" % (encoding, separator, at))
            p.measure((600, 200))
            check("\n5: x=" in p.memo_text(), "%s %s: the next measurement is not number 5" % (encoding, separator))
    p.close_window()
    p.answer_question("discard")
    check(p.wait_exit() == 0, "program did not end normally")


def scenario_file_size_limit():
    """Under `ulimit -f 16` a 40 KB save fails with an error box; the program
    lives on with its protocol, and the old file stays as it was."""
    p = Program(DESK, BINARY, fresh_state(), file_size_limit=16 * 1024)
    p.measure((508, 340))
    p.paste_in_memo("".join("%d: x=1.000 y=2.000 phi=3.000\n" % i for i in range(1300)))
    folder = tempfile.mkdtemp(prefix="limit-", dir=DESK.tmp)
    path = os.path.join(folder, "big.txt")
    with open(path, "wb") as f:
        f.write(b"old protocol\r\n")
    p.click(SAVE_BUTTON)
    p.fill_file_dialog(path, error_box=True)
    check(p.alive(), "the program died at the file-size limit (exit %s)" % p.proc.returncode)
    if p.alive():
        check("1299: x=1.000" in p.memo_text(), "the protocol box lost its text")
        p.close_window()
        p.answer_question("discard")
        p.wait_exit()
    with open(path, "rb") as f:
        check(f.read() == b"old protocol\r\n", "the old file was changed")
    check(os.listdir(folder) == ["big.txt"], "the failed save left %s" % os.listdir(folder))


def scenario_fifo_reader_leaves():
    """A save into a FIFO whose reader leaves after the first byte is an
    error box, not the end of the program (SIGPIPE): the protocol lives on."""
    p = Program(DESK, BINARY, fresh_state())
    p.measure((508, 340))
    # More than a pipe holds: the writer is still at it when the reader goes.
    p.paste_in_memo("".join("%d: x=1.000 y=2.000 phi=3.000\n" % i for i in range(3000)))
    folder = tempfile.mkdtemp(prefix="fifo-", dir=DESK.tmp)
    fifo = os.path.join(folder, "pipe.txt")
    os.mkfifo(fifo)
    # Open for reading at once (a save into a FIFO without a reader fails at
    # once); once the first byte has come, gone. A writer of the test's own
    # keeps the FIFO from reading as ended before the program opens it, so
    # that select() waits for the first byte.
    reader = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)
    keep_open = os.open(fifo, os.O_WRONLY | os.O_NONBLOCK)
    got = []

    def read_one():
        try:
            deadline = time.monotonic() + TIMEOUT
            while not got and time.monotonic() < deadline:
                select.select([reader], [], [], max(0.0, deadline - time.monotonic()))
                try:
                    byte = os.read(reader, 1)
                except BlockingIOError:
                    continue
                if byte:
                    got.append(byte)
        finally:
            os.close(reader)
            os.close(keep_open)
    thread = threading.Thread(target=read_one, daemon=True)
    thread.start()
    p.click(SAVE_BUTTON)
    p.fill_file_dialog(fifo, error_box=True)
    thread.join(TIMEOUT)
    check(got == [b"0"], "the reader got %r, not the protocol's first byte" % got)
    check(p.alive(), "the program died when the FIFO's reader left (exit %s)" % p.proc.returncode)
    if p.alive():
        check("2999: x=1.000" in p.memo_text(), "the protocol box lost its text")
        p.close_window()
        p.answer_question("discard")
        p.wait_exit()


SCENARIOS = {name[len("scenario_"):]: f for name, f in sorted(globals().items()) if name.startswith("scenario_")}


def main():
    global BINARY, DESK
    BINARY = os.path.abspath(sys.argv[1])
    DESK = Desktop()
    try:
        return run_scenarios("keep-work", SCENARIOS, sys.argv[2:] or list(SCENARIOS))
    finally:
        DESK.close()


if __name__ == "__main__":
    sys.exit(main())
