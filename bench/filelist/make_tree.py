#!/usr/bin/python3
"""Builds a folder tree for the folder-scan benchmark: by default 100,000 empty files in
5,000 folders (the root included), several levels deep, with the mix of names a real
share holds: workbooks in several extensions and cases, other documents, names without
an extension, lock files beginning with "~" and hidden files and folders."""

import argparse
import os
import sys

EXTENSIONS = ["xlsx", "xls", "XLSX", "xlsm", "txt", "docx", "csv", "pdf", "", "xlsb"]


def folder_paths(root, count, fan_out):
    """count folder paths in breadth-first order, each folder with up to fan_out children."""
    paths = [root]
    next_parent = 0
    while len(paths) < count:
        parent = paths[next_parent]
        next_parent += 1
        for child in range(fan_out):
            if len(paths) == count:
                break
            paths.append(os.path.join(parent, f"dir{child:02d}"))
    return paths


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("root", help="folder to create (must not exist)")
    parser.add_argument("--files", type=int, default=100_000)
    parser.add_argument("--folders", type=int, default=5_000)
    parser.add_argument("--fan-out", type=int, default=8)
    args = parser.parse_args()

    if os.path.exists(args.root):
        sys.exit(f"{args.root} exists already; give a new folder")
    folders = folder_paths(args.root, args.folders, args.fan_out)
    for path in folders:
        os.makedirs(path)
    # A hidden folder with files of its own: a scan must not enter it.
    hidden = os.path.join(args.root, ".hidden")
    os.makedirs(hidden)
    open(os.path.join(hidden, "inside.xlsx"), "wb").close()

    for index in range(args.files):
        folder = folders[index % len(folders)]
        ext = EXTENSIONS[index % len(EXTENSIONS)]
        stem = f"book{index:06d}"
        if index % 97 == 0:
            stem = "~$" + stem
        elif index % 89 == 0:
            stem = "." + stem
        name = f"{stem}.{ext}" if ext else stem
        open(os.path.join(folder, name), "wb").close()
    print(f"{args.files} files in {len(folders)} folders under {args.root}")


if __name__ == "__main__":
    main()
