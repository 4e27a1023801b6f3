#!/usr/bin/python3
"""Independent read-back for the delimited text tests: reads a file before and after a
replacement with Python's csv module and checks that every field is the old one with the find
text replaced (match case), and that the records are the same in number and shape.

usage: read_back_fields.py FIND REPLACEMENT ENCODING DELIMITER BEFORE AFTER
Exit status 0 when every field is as expected; 1 with the differences on stdout."""
import csv
import sys


def records(path, encoding, delimiter):
    with open(path, newline="", encoding=encoding, errors="surrogateescape") as f:
        return list(csv.reader(f, delimiter=delimiter, strict=False))


def main():
    find, replacement, encoding, delimiter, before, after = sys.argv[1:7]
    old = records(before, encoding, delimiter)
    new = records(after, encoding, delimiter)
    problems = []
    if len(old) != len(new):
        problems.append(f"{len(old)} records before, {len(new)} after")
    for row, (a, b) in enumerate(zip(old, new), 1):
        want = [field.replace(find, replacement) for field in a]
        if want != b:
            problems.append(f"record {row}: expected {want!r}, read {b!r}")
    for p in problems[:20]:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
