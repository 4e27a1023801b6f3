"""Builds the .xls workbook that the cell tests edit (BIFF8, written by xlwt).

Usage: make_xls.py OUT
Sheet "Data": A1 "alpha beta", A2 rich text "plain " + "bold alpha", A3 12345 (an RK),
A4 1234.5678, A5 a date, A6 TRUE, A7 IF(A1="alpha beta","alpha","x"), A8 SUM(A3:A4),
B1:B3 "alpha" (one shared string). Sheet "Locked" (protected): A1 "alpha" locked, A2 "beta"
unlocked.
"""
import sys

import xlwt


def main(out):
    book = xlwt.Workbook(encoding="utf-8")
    data = book.add_sheet("Data")
    data.write(0, 0, "alpha beta")
    bold = xlwt.Font()
    bold.bold = True
    data.write_rich_text(1, 0, ["plain ", ("bold alpha", bold)])
    data.write(2, 0, 12345)
    data.write(3, 0, 1234.5678)
    date = xlwt.XFStyle()
    date.num_format_str = "yyyy-mm-dd"
    data.write(4, 0, 45000, date)
    data.write(5, 0, True)
    data.write(6, 0, xlwt.Formula('IF(A1="alpha beta";"alpha";"x")'))
    data.write(7, 0, xlwt.Formula("SUM(A3:A4)"))
    for r in range(3):
        data.write(r, 1, "alpha")
    locked = book.add_sheet("Locked")
    locked.protect = True
    locked.write(0, 0, "alpha")
    unlocked = xlwt.easyxf("protection: cell_locked false")
    locked.write(1, 0, "beta", unlocked)
    book.save(out)


if __name__ == "__main__":
    main(sys.argv[1])
