#!/usr/bin/python3
"""Makes and reads workbooks for the replace-run tests with openpyxl, an independent reader.

  workbook_cells.py make OUT.xlsx '{"Sheet": ["text of A1", "text of A2"], ...}'
  workbook_cells.py read IN.xlsx   -> {"Sheet": {"A1": value, ...}, ...} on stdout
"""
import json
import sys

import openpyxl


def make(path, sheets):
    book = openpyxl.Workbook()
    book.remove(book.active)
    for title, cells in sheets.items():
        sheet = book.create_sheet(title)
        for row, value in enumerate(cells, start=1):
            sheet.cell(row=row, column=1, value=value)
    book.save(path)


def read(path):
    book = openpyxl.load_workbook(path)
    return {
        sheet.title: {
            cell.coordinate: cell.value
            for row in sheet.iter_rows()
            for cell in row
            if cell.value is not None
        }
        for sheet in book.worksheets
    }


if __name__ == "__main__":
    if sys.argv[1] == "make":
        make(sys.argv[2], json.loads(sys.argv[3]))
    else:
        json.dump(read(sys.argv[2]), sys.stdout, ensure_ascii=False, sort_keys=True)
