#!/usr/bin/python3
"""Makes and reads workbooks for the command line's end-to-end tests with openpyxl, a reader
independent of the program's engine.

  workbook_tool.py make OUT.xlsx SHEETS  SHEETS (JSON): [{"name": sheet, "cells": {"A1": value}}]
                                        a text beginning with "=" is a formula
  workbook_tool.py dump BOOK            prints every sheet's cells as JSON, in the same shape,
                                        each sheet with "texts": the cells holding text
                                        constants (not formulas)
"""
import json
import sys

import openpyxl


def make(out, sheets_json):
    book = openpyxl.Workbook()
    book.remove(book.active)
    for wanted in json.loads(sheets_json):
        sheet = book.create_sheet(wanted["name"])
        for ref, value in wanted["cells"].items():
            sheet[ref] = value
    book.save(out)


def dump(path):
    book = openpyxl.load_workbook(path)
    sheets = []
    for sheet in book.worksheets:
        found = {}
        texts = []
        for row in sheet.iter_rows():
            for cell in row:
                if cell.value is None:
                    continue
                value = cell.value
                if not isinstance(value, (str, int, float, bool)):
                    value = str(value)
                found[cell.coordinate] = value
                if cell.data_type == "s" and isinstance(value, str):
                    texts.append(cell.coordinate)
        sheets.append({"name": sheet.title, "cells": found, "texts": texts})
    json.dump(sheets, sys.stdout, ensure_ascii=False)


def main():
    command = sys.argv[1]
    if command == "make":
        make(sys.argv[2], sys.argv[3])
    elif command == "dump":
        dump(sys.argv[2])
    else:
        sys.exit("unknown command " + command)


if __name__ == "__main__":
    main()
