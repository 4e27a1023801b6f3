#!/usr/bin/python3
"""Independent read-back for the engine's golden tests: reads a workbook before and after a
replacement with openpyxl and checks that exactly the text constants and formulas changed, as
expected. openpyxl gives each cell of a shared formula its own text, so a split group is checked
cell by cell.

usage: read_back_cells.py FIND REPLACEMENT MATCHCASE(0|1) BEFORE AFTER [BEFORE AFTER ...]
Exit status 0 when every cell of every pair is as expected; 1 with the differences on stdout."""
import re
import sys
import warnings

import openpyxl

warnings.simplefilter("ignore")


def expected(value, find, replacement, match_case):
    if match_case:
        new = value.replace(find, replacement)
    else:
        new = re.sub(re.escape(find), lambda _: replacement, value, flags=re.IGNORECASE)
    return None if new == "" else new


def cells(path):
    book = openpyxl.load_workbook(path)
    out = {}
    for sheet in book.worksheets:
        for row in sheet.iter_rows():
            for cell in row:
                if cell.value is not None:
                    out[(sheet.title, cell.coordinate)] = (cell.value, cell.data_type)
    return out


def compare(before_path, after_path, find, replacement, match_case):
    before, after = cells(before_path), cells(after_path)
    problems = []
    changed = 0
    for key in sorted(set(before) | set(after)):
        old = before.get(key, (None, None))
        new = after.get(key, (None, None))[0]
        want = old[0]
        if old[1] == "s" and isinstance(old[0], str):
            want = expected(old[0], find, replacement, match_case)
        elif old[1] == "f" and isinstance(old[0], str):
            # The prefixes of newer functions ("_xlfn.") hold no lower-case "e".
            want = expected(old[0], find, replacement, match_case)
        if want != old[0]:
            changed += 1
        if new != want:
            problems.append(f"{after_path}: {key[0]}!{key[1]}: before {old[0]!r}, "
                            f"after {new!r}, expected {want!r}")
    return changed, problems


def main():
    find, replacement, match_case = sys.argv[1], sys.argv[2], sys.argv[3] == "1"
    paths = sys.argv[4:]
    failed = False
    for before_path, after_path in zip(paths[0::2], paths[1::2]):
        changed, problems = compare(before_path, after_path, find, replacement, match_case)
        for p in problems[:10]:
            print(p)
        print(f"{after_path}: cells changed: {changed}")
        failed = failed or bool(problems)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
