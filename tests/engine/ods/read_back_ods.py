#!/usr/bin/python3
"""Independent read-back for the OpenDocument tests: reads content.xml of a spreadsheet before
and after a replacement with xml.etree and checks that every string cell's text and every
formula is the old one with the find text replaced (match case), and that other cells keep
their values.

usage: read_back_ods.py FIND REPLACEMENT BEFORE AFTER
Exit status 0 when every cell is as expected; 1 with the differences on stdout."""
import re
import sys
import zipfile
import xml.etree.ElementTree as ET

O = "{urn:oasis:names:tc:opendocument:xmlns:office:1.0}"
T = "{urn:oasis:names:tc:opendocument:xmlns:table:1.0}"
X = "{urn:oasis:names:tc:opendocument:xmlns:text:1.0}"
SKIP = {O + "annotation", X + "note", X + "ruby-text"}


def paragraph_text(p):
    """The text of a paragraph with ODF's white space rules."""
    out = []
    state = {"last_space": True, "pending": False}

    def chars(s):
        for c in s or "":
            if c in " \t\r\n":
                if not state["last_space"]:
                    state["pending"] = True
                    state["last_space"] = True
                continue
            if state["pending"]:
                out.append(" ")
                state["pending"] = False
            out.append(c)
            state["last_space"] = False

    def element(e):
        if e.tag in SKIP or "drawing" in e.tag or "svg" in e.tag:
            chars(e.tail)
            return
        if e.tag in (X + "s", X + "tab", X + "line-break"):
            if state["pending"]:
                out.append(" ")
                state["pending"] = False
            if e.tag == X + "s":
                out.append(" " * int(e.get(X + "c", "1")))
            else:
                out.append("\t" if e.tag == X + "tab" else "\n")
            state["last_space"] = False
        else:
            chars(e.text)
            for child in e:
                element(child)
        chars(e.tail)

    chars(p.text)
    for child in p:
        element(child)
    return "".join(out)


def cells(path):
    with zipfile.ZipFile(path) as z:
        root = ET.fromstring(z.read("content.xml"))
    out = {}
    sheet_index = 0
    for body in root.iter(O + "spreadsheet"):
        for table in body.findall(T + "table"):
            row = 0
            for r in table.iter(T + "table-row"):
                rows = int(r.get(T + "number-rows-repeated", "1"))
                col = 0
                for c in r:
                    cols = int(c.get(T + "number-columns-repeated", "1"))
                    if c.tag == T + "table-cell":
                        paragraphs = [p for p in c if p.tag in (X + "p", X + "h")]
                        text = "\n".join(paragraph_text(p) for p in paragraphs)
                        kind = c.get(O + "value-type", "")
                        value = c.get(O + "value") or c.get(O + "boolean-value") or \
                            c.get(O + "date-value") or c.get(O + "time-value") or ""
                        formula = c.get(T + "formula")
                        if formula is not None or text or kind:
                            for dr in range(min(rows, 3)):
                                for dc in range(min(cols, 3)):
                                    out[(sheet_index, row + dr, col + dc)] = (
                                        kind, value, text, formula, c.get(O + "string-value"))
                    col += cols
                row += rows
            sheet_index += 1
    return out


def main():
    find, replacement, before, after = sys.argv[1:5]
    old, new = cells(before), cells(after)
    problems = []
    for key in sorted(set(old) | set(new)):
        a, b = old.get(key), new.get(key)
        if a is None or b is None:
            problems.append(f"{key}: {a!r} became {b!r}")
            continue
        kind, value, text, formula, string_value = a
        if formula is not None:
            prefix = re.match(r"^[A-Za-z0-9_.-]*:(?==)", formula)
            prefix = prefix.group(0) if prefix else ""
            want = prefix + formula[len(prefix):].replace(find, replacement)
            if b[3] != want:
                problems.append(f"{key}: formula {formula!r} became {b[3]!r}, expected {want!r}")
        elif kind in ("", "string"):
            want = text.replace(find, replacement)
            if b[2] != want:
                problems.append(f"{key}: text {text!r} became {b[2]!r}, expected {want!r}")
            if string_value is not None and b[4] != string_value.replace(find, replacement):
                problems.append(f"{key}: string value {string_value!r} became {b[4]!r}")
        elif a != b:
            problems.append(f"{key}: {a!r} became {b!r}")
    for p in problems[:20]:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
