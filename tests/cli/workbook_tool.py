#!/usr/bin/python3
"""Makes and reads workbooks for the command line's end-to-end tests with openpyxl, a reader
independent of the program's engine.

  workbook_tool.py make OUT.xlsx SPEC   SPEC (JSON): [{"name": sheet, "cells": {"A1": value}}]
                                        a text beginning with "=" is a formula
  workbook_tool.py dump BOOK            prints every sheet's cells as JSON, in the same shape
  workbook_tool.py texts BOOK           prints the text constants of every sheet as JSON:
                                        [{"name": sheet, "cells": {"A1": text}}], formulas left out
"""
import json
import sys

import openpyxl


def make(out, spec):
    book = openpyxl.Workbook()
    book.remove(book.active)
    for sheet_spec in json.loads(spec):
        sheet = book.create_sheet(sheet_spec["name"])
        for ref, value in sheet_spec["cells"].items():
            sheet[ref] = value
    book.save(out)


def cells(path, texts_only):
    book = openpyxl.load_workbook(path)
    sheets = []
    for sheet in book.worksheets:
        found = {}
        for row in sheet.iter_rows():
            for cell in row:
                if cell.value is None:
                    continue
                if texts_only and (cell.data_type != "s" or not isinstance(cell.value, str)):
                    continue
                value = cell.value
                if not isinstance(value, (str, int, float, bool)):
                    value = str(value)
                found[cell.coordinate] = value
        sheets.append({"name": sheet.title, "cells": found})
    json.dump(sheets, sys.stdout, ensure_ascii=False)


def main():
    command = sys.argv[1]
    if command == "make":
        make(sys.argv[2], sys.argv[3])
    elif command in ("dump", "texts"):
        cells(sys.argv[2], command == "texts")
    else:
        sys.exit("unknown command " + command)


if __name__ == "__main__":
    main()
