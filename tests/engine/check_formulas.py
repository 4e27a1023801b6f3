#!/usr/bin/python3
"""Independent check of a workbook after a replacement that reached formulas, for the engine's
golden tests. Reads the workbook before and after with openpyxl and checks:

- every formula cell (plain, every cell of a shared group, the first cell of an array) holds the
  formula of before with the replacement made, and an array keeps its range;
- a changed formula cell has no cached value left; an unchanged one keeps its cached value;
- every table column is named after its header cell, and the table's own formulas (the column
  formula and the totals formula) are those of before with the replacement made.

With --libreoffice DIR, it also has LibreOffice (when installed) load both workbooks and save
every sheet as CSV under DIR. The workbook after is recalculated on load, so its values come
from the new formulas: every cell must show what it showed before, except the cells given
after --values, which must show the value given. --load-only: only loading is checked (for
functions this LibreOffice lacks).

usage: check_formulas.py FIND REPLACEMENT MATCHCASE(0|1) BEFORE AFTER
                         [--libreoffice DIR [--load-only]] [--values SHEET!CELL=VALUE ...]
Exit status 0 when all holds; 1 with the differences on stdout."""
import csv
import glob
import os
import re
import shutil
import subprocess
import sys
import warnings

import openpyxl
from openpyxl.utils.cell import coordinate_from_string, column_index_from_string

warnings.simplefilter("ignore")


def replaced(value, find, replacement, match_case):
    if match_case:
        return value.replace(find, replacement)
    return re.sub(re.escape(find), lambda _: replacement, value, flags=re.IGNORECASE)


def formula_cells(book):
    out = {}
    for sheet in book.worksheets:
        for row in sheet.iter_rows():
            for cell in row:
                if cell.data_type == "f" and isinstance(cell.value, str):
                    out[(sheet.title, cell.coordinate)] = cell.value
    return out


def cached_values(book):
    out = {}
    for sheet in book.worksheets:
        for row in sheet.iter_rows():
            for cell in row:
                out[(sheet.title, cell.coordinate)] = cell.value
    return out


def array_ranges(book):
    return {(sheet.title, cell): dict(attributes) for sheet in book.worksheets
            for cell, attributes in sheet.formula_attributes.items()}


def table_formula_text(formula):
    if formula is None:
        return None
    return getattr(formula, "attr_text", formula)


def check_tables(before, after, find, replacement, match_case, problems):
    for sheet in after.worksheets:
        old_sheet = before[sheet.title]
        for name in list(sheet.tables):
            table, old = sheet.tables[name], old_sheet.tables[name]
            first = table.ref.split(":")[0]
            column, row = coordinate_from_string(first)
            column = column_index_from_string(column)
            for i, (col, old_col) in enumerate(zip(table.tableColumns, old.tableColumns)):
                header = sheet.cell(row=row, column=column + i).value
                if table.headerRowCount != 0 and str(header) != col.name:
                    problems.append(f"table {name}: column {i + 1} is named {col.name!r}, "
                                    f"its header cell holds {header!r}")
                for kind in ("calculatedColumnFormula", "totalsRowFormula"):
                    was = table_formula_text(getattr(old_col, kind))
                    now = table_formula_text(getattr(col, kind))
                    want = None if was is None else replaced(was, find, replacement, match_case)
                    if now != want:
                        problems.append(f"table {name}: column {col.name!r}: {kind} {now!r}, "
                                        f"expected {want!r}")


def libreoffice_values(path, folder):
    os.makedirs(folder, exist_ok=True)
    office = shutil.which("soffice")
    if office is None:
        print("LibreOffice is not installed: its check was skipped")
        return None
    # Every sheet to its own CSV file, values as shown (LibreOffice 7.2 and later).
    result = subprocess.run(
        [office, "--headless", "--norestore", "--convert-to",
         "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1",
         "--outdir", os.path.abspath(folder), path], capture_output=True, text=True, timeout=300,
        env=dict(os.environ, HOME=os.path.abspath(folder)))
    stem = os.path.splitext(os.path.basename(path))[0]
    sheets = {}
    for name in glob.glob(os.path.join(folder, stem + "-*.csv")):
        title = os.path.basename(name)[len(stem) + 1:-len(".csv")]
        with open(name, newline="", encoding="utf-8") as f:
            sheets[title] = list(csv.reader(f))
    if result.returncode != 0 or not sheets:
        print(f"LibreOffice could not load {path}: {result.stdout}{result.stderr}")
        return {}
    return sheets


def check_libreoffice(before_path, after_path, folder, values, load_only, problems):
    after = libreoffice_values(after_path, os.path.join(folder, "after"))
    if after is None:
        return
    if not after:
        problems.append("LibreOffice did not load the workbook")
        return
    if load_only:
        print("LibreOffice loaded the workbook")
        return
    before = libreoffice_values(before_path, os.path.join(folder, "before"))
    expected = {}
    for item in values:
        where, want = item.split("=", 1)
        title, coordinate = where.split("!")
        column, row = coordinate_from_string(coordinate)
        expected[(title, row - 1, column_index_from_string(column) - 1)] = want
    compared = 0
    for title in sorted(set(before) | set(after)):
        old, new = before.get(title, []), after.get(title, [])
        cells = {(r, c) for r, row in enumerate(old) for c in range(len(row))}
        cells |= {(r, c) for r, row in enumerate(new) for c in range(len(row))}
        cells |= {(r, c) for (t, r, c) in expected if t == title}
        for r, c in sorted(cells):
            was = old[r][c] if r < len(old) and c < len(old[r]) else ""
            got = new[r][c] if r < len(new) and c < len(new[r]) else ""
            want = expected.get((title, r, c), was)
            compared += 1
            if got != want:
                problems.append(f"LibreOffice: {title} row {r + 1} column {c + 1} shows "
                                f"{got!r}, expected {want!r}")
    print(f"LibreOffice recalculated the workbook; {compared} values compared")


def main():
    find, replacement, match_case = sys.argv[1], sys.argv[2], sys.argv[3] == "1"
    before_path, after_path = sys.argv[4], sys.argv[5]
    rest = sys.argv[6:]
    office_folder, values, load_only = None, [], False
    if rest[:1] == ["--libreoffice"]:
        office_folder, rest = rest[1], rest[2:]
    if rest[:1] == ["--load-only"]:
        load_only, rest = True, rest[1:]
    if rest[:1] == ["--values"]:
        values = rest[1:]

    before, after = openpyxl.load_workbook(before_path), openpyxl.load_workbook(after_path)
    before_cached = cached_values(openpyxl.load_workbook(before_path, data_only=True))
    after_cached = cached_values(openpyxl.load_workbook(after_path, data_only=True))
    old_formulas, new_formulas = formula_cells(before), formula_cells(after)
    problems = []
    changed = 0
    for key, old in sorted(old_formulas.items()):
        want = replaced(old, find, replacement, match_case)
        where = f"{key[0]}!{key[1]}"
        if not want.startswith("="):
            continue  # became a constant: the text read-back covers those
        if new_formulas.get(key) != want:
            problems.append(f"{where}: formula {new_formulas.get(key)!r}, expected {want!r}")
        if want != old:
            changed += 1
            if after_cached.get(key) is not None:
                problems.append(f"{where}: kept its cached value {after_cached[key]!r}")
        elif after_cached.get(key) != before_cached.get(key):
            problems.append(f"{where}: cached value {after_cached.get(key)!r}, "
                            f"was {before_cached.get(key)!r}")
    if array_ranges(after) != array_ranges(before):
        problems.append(f"array ranges {array_ranges(after)}, were {array_ranges(before)}")
    check_tables(before, after, find, replacement, match_case, problems)
    if office_folder is not None:
        check_libreoffice(before_path, after_path, office_folder, values, load_only, problems)
    for p in problems[:20]:
        print(p)
    print(f"formula cells changed: {changed}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
