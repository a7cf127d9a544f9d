"""A class folder as a teacher gets it, from lines the Linux build printed:
every encoding the save dialog offers, both separators, hand edits, a copy,
junk, a subfolder and Cyrillic names. Usage: class_folder.py POTENCOR_DIGITS DIR"""
import os
import re
import subprocess
import sys

digits, root = sys.argv[1], sys.argv[2]


def lines(column, start, count):
    """count protocol lines (the program's own text) from one column of pixels, renumbered from 0."""
    out = subprocess.run([digits, "--column", str(column)], check=True, capture_output=True, text=True).stdout
    texts = [row.split(" | ")[0] for row in out.splitlines()][start:start + count]
    return [re.sub(r"^\d+:", f"{n}:", t) for n, t in enumerate(texts)]


def write(name, text_lines, encoding="utf-8", bom=b""):
    path = os.path.join(root, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(bom + "".join(l + "\r\n" for l in text_lines).encode(encoding, errors="replace"))


def raw(name, data):
    with open(os.path.join(root, name), "wb") as f:
        f.write(data)


os.makedirs(root, exist_ok=True)
write("иванов.txt", lines(120, 300, 20))
# Иванов's points handed in again: a suspected copy.
write("орлов.txt", ["Орлов О., группа 101"] + [l.replace(".", ",") for l in lines(120, 300, 20)])
write("петров.txt", [l.replace(".", ",") for l in lines(180, 100, 15)], "cp1251")
edited = lines(260, 500, 12)
edited[3] = re.sub(r"phi=(\d+)\.(\d)", lambda m: f"phi={m[1]}.{(int(m[2]) + 1) % 10}", edited[3])
del edited[7]
write("сидоров.txt", ["Сидоров С., группа 101"] + edited)
write("ковалёв.txt", lines(340, 200, 10), "utf-7")
write("unicode.txt", lines(400, 600, 10), "utf-16-le", b"\xff\xfe")
write("bigendian.txt", lines(460, 50, 10), "utf-16-be", b"\xfe\xff")
write("ascii.txt", [l.replace("см", "??").replace("В", "?") for l in lines(520, 400, 10)], "ascii")
twice = lines(600, 10, 6)
write("кузнецова.txt", twice + [twice[-1]] + ["заметка"])
write("Подгруппа/смирнов.txt", lines(700, 0, 8), "utf-8", b"\xef\xbb\xbf")
write("Подгруппа/notes.md", lines(700, 0, 3))
raw("binary.txt", b"0: x=1\x00\x01\x02")
raw("empty.txt", b"")
raw("ansi98.txt", "0: x=1,000см".encode("cp1251") + b"\x98\r\n")
raw("surrogate.txt", b"\xff\xfe0\x00:\x00\x00\xd8 \x00")
raw("utf7.txt", b"0: x+AD0-1.000+BEF-\r\n")
