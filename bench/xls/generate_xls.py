"""Generates a set of .xls workbooks (BIFF8, written by xlwt) for the .xls benchmark.

Usage: generate_xls.py FOLDER [FILES] [ROWS]
Each workbook has two sheets of ROWS rows and 10 columns: text cells (about one in ten holds
the token "alpha"), numbers, and a formula column with a text in quotes. Deterministic.
"""
import os
import random
import sys

import xlwt


def main(args):
    folder = args[0]
    files = int(args[1]) if len(args) > 1 else 50
    rows = int(args[2]) if len(args) > 2 else 2000
    os.makedirs(folder, exist_ok=True)
    rng = random.Random(7)
    words = ["north", "south", "beta", "gamma", "delta", "river", "stone", "cloud", "amber"]
    for f in range(files):
        book = xlwt.Workbook(encoding="utf-8")
        for s in range(2):
            sheet = book.add_sheet("Sheet%d" % (s + 1))
            for r in range(rows):
                for c in range(10):
                    kind = c % 5
                    if kind == 4:
                        sheet.write(r, c, xlwt.Formula('IF(A%d="x";"alpha";"b")' % (r + 1)))
                    elif kind == 3:
                        sheet.write(r, c, rng.random() * 1000)
                    else:
                        text = " ".join(rng.choice(words) for _ in range(3))
                        if rng.random() < 0.1:
                            text += " alpha"
                        sheet.write(r, c, "%s %d" % (text, r))
        book.save(os.path.join(folder, "book%03d.xls" % f))


if __name__ == "__main__":
    main(sys.argv[1:])
