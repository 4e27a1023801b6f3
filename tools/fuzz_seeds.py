#!/usr/bin/python3
"""Makes the seed folders of the fuzz targets from the corpus of real workbooks.

Usage: fuzz_seeds.py CORPUS OUT. Each target gets the parts it reads: whole small packages,
XML parts, shared string tables, sheet and table parts, workbook parts, formulas and sets
lines. Parts over 64 KiB are left out: a seed that size only slows each run.
"""
import hashlib
import html
import pathlib
import re
import sys
import zipfile

LIMIT = 64 * 1024


def save(out, target, data):
    folder = out / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / hashlib.sha1(data).hexdigest()).write_bytes(data)


def main():
    corpus, out = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
    formulas = set()
    books = sorted(p for p in corpus.rglob("*") if p.suffix.lower() in (".xlsx", ".xlsm"))
    for book in books[:400]:
        try:
            archive = zipfile.ZipFile(book)
            infos = archive.infolist()
        except Exception:
            continue
        if book.stat().st_size <= 256 * 1024:
            save(out, "fuzz_zip_reader", book.read_bytes())
        parts = {}
        for info in infos:
            if info.file_size > LIMIT or not info.filename.endswith((".xml", ".rels")):
                continue
            try:
                parts[info.filename] = archive.read(info)
            except Exception:
                continue
        strings = parts.get("xl/sharedStrings.xml")
        for name, data in parts.items():
            save(out, "fuzz_xml_scanner", data)
            if name == "xl/sharedStrings.xml":
                save(out, "fuzz_shared_strings", data)
            elif name.startswith("xl/tables/"):
                save(out, "fuzz_table", data)
            elif name in ("xl/workbook.xml", "xl/_rels/workbook.xml.rels", "[Content_Types].xml"):
                save(out, "fuzz_workbook_parts", data)
            elif name.startswith("xl/worksheets/sheet"):
                # The worksheet target reads the first half as the string table and the second
                # as the sheet: trailing spaces after the root make the halves equal.
                sst = strings or b"<sst/>"
                size = max(len(sst), len(data))
                save(out, "fuzz_worksheet", sst.ljust(size) + data.ljust(size))
                for match in re.finditer(rb"<f(?: [^>]*)?>([^<]{1,2000})</f>", data):
                    formulas.add(html.unescape(match.group(1).decode("utf-8", "replace")))
    for formula in sorted(formulas)[:3000]:
        save(out, "fuzz_formula", formula.encode())
    lines = ["alpha::omega", "2025::2026\nDraft ::", "a=>>b\n::\nno separator", "é::É\n\t::\\t"]
    for line in lines + [f + "::" + f.lower() for f in sorted(formulas)[:200]]:
        save(out, "fuzz_sets_file", line.encode())


if __name__ == "__main__":
    main()
