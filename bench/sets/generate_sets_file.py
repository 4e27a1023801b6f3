#!/usr/bin/env python3
"""Writes a sets file for the load benchmark.

shape "sets": every line is a set (the list fills up at 32,767 and the rest is not loaded).
shape "mixed": one line in four is a set; the others are titles, comments and blank lines,
so every line of the file is read and split.
"""
import argparse


def lines(count, shape):
    for i in range(count):
        if shape == "sets" or i % 4 == 0:
            yield f"find text {i:06d} caf\u00e9::replacement \u201c{i:06d}\u201d text"
        elif i % 4 == 1:
            yield f"Section {i:06d}: sets for the quarterly workbooks"
        elif i % 4 == 2:
            yield ""
        else:
            yield f"   a note without a separator, number {i:06d}   "


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("path")
    parser.add_argument("--lines", type=int, default=100_000)
    parser.add_argument("--shape", choices=["sets", "mixed"], default="mixed")
    parser.add_argument("--encoding", choices=["utf-8", "utf-16", "cp1252"], default="utf-8")
    args = parser.parse_args()
    text = "".join(line + "\r\n" for line in lines(args.lines, args.shape))
    # Python's "utf-16" writes the mark FF FE and little-endian code units, as Windows does.
    with open(args.path, "wb") as out:
        out.write(text.encode(args.encoding))


if __name__ == "__main__":
    main()
