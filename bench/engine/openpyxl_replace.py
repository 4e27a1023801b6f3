#!/usr/bin/env python3
"""Load-replace-save with openpyxl, the yardstick from the other side: every cell whose value is
a string (text or formula) has the find text replaced, then the workbook is saved in place.

Usage: openpyxl_replace.py [--find TEXT] [--replace TEXT] FILE...
"""
import argparse
import time

import openpyxl


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--find", default="alpha")
    parser.add_argument("--replace", default="omega")
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()
    start = time.monotonic()
    changed = 0
    for path in args.files:
        book = openpyxl.load_workbook(path)
        for sheet in book.worksheets:
            for row in sheet.iter_rows():
                for cell in row:
                    if isinstance(cell.value, str) and args.find in cell.value:
                        cell.value = cell.value.replace(args.find, args.replace)
                        changed += 1
        book.save(path)
    print("files %d cells_changed %d seconds %.3f" % (len(args.files), changed,
                                                       time.monotonic() - start))


if __name__ == "__main__":
    main()
