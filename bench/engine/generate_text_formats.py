#!/usr/bin/python3
"""Deterministic benchmark files for the delimited text and OpenDocument paths: a CSV of about
50 MB and an .ods of 1,000,000 cells (100,000 rows x 10 columns), the token in about one text
cell in ten.

usage: generate_text_formats.py OUTPUT_FOLDER [--seed N] [--token alpha]"""
import argparse
import os
import random
import zipfile

WORDS = ["lorem", "ipsum", "dolor", "sit", "amet", "consectetur", "adipiscing", "elit", "sed",
         "do", "eiusmod", "tempor", "incididunt", "labore", "magna", "aliqua"]


def phrase(rng, token):
    words = [rng.choice(WORDS) for _ in range(rng.randint(1, 4))]
    if rng.random() < 0.1:
        words.insert(rng.randrange(len(words) + 1), token)
    return " ".join(words)


def write_csv(path, rng, token, target_bytes=50 * 1000 * 1000):
    with open(path, "w", newline="", encoding="utf-8") as f:
        written = 0
        row = 0
        while written < target_bytes:
            fields = [str(row), phrase(rng, token), f'"{phrase(rng, token)}, {phrase(rng, token)}"',
                      f"{rng.random() * 1000:.3f}", phrase(rng, token), "00" + str(rng.randrange(1000)),
                      phrase(rng, token), str(rng.randrange(10 ** 6))]
            line = ",".join(fields) + "\r\n"
            f.write(line)
            written += len(line)
            row += 1


CONTENT_HEAD = ('<?xml version="1.0" encoding="UTF-8"?>\n<office:document-content '
                'xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
                'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
                'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" '
                'xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2" office:version="1.3">'
                '<office:body><office:spreadsheet><table:table table:name="Sheet1">'
                '<table:table-column table:number-columns-repeated="10"/>')
CONTENT_TAIL = '</table:table></office:spreadsheet></office:body></office:document-content>'


def write_ods(path, rng, token, rows=100000, columns=10):
    parts = [CONTENT_HEAD]
    for r in range(rows):
        cells = []
        for c in range(columns):
            if c % 3 == 1:
                value = rng.randrange(10 ** 6)
                cells.append(f'<table:table-cell office:value-type="float" office:value="{value}">'
                             f'<text:p>{value}</text:p></table:table-cell>')
            elif c == 9:
                cells.append(f'<table:table-cell table:formula="of:=[.B{r + 1}]*2" '
                             f'office:value-type="float" office:value="0"><text:p>0</text:p>'
                             '</table:table-cell>')
            else:
                cells.append('<table:table-cell office:value-type="string"><text:p>'
                             f'{phrase(rng, token)}</text:p></table:table-cell>')
        parts.append("<table:table-row>" + "".join(cells) + "</table:table-row>")
    parts.append(CONTENT_TAIL)
    manifest = ('<?xml version="1.0" encoding="UTF-8"?>\n<manifest:manifest xmlns:manifest='
                '"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0" manifest:version="1.3">'
                '<manifest:file-entry manifest:full-path="/" manifest:media-type='
                '"application/vnd.oasis.opendocument.spreadsheet"/><manifest:file-entry '
                'manifest:full-path="content.xml" manifest:media-type="text/xml"/>'
                '</manifest:manifest>')
    with zipfile.ZipFile(path, "w") as z:
        stamp = (2024, 1, 1, 0, 0, 0)
        z.writestr(zipfile.ZipInfo("mimetype", stamp),
                   "application/vnd.oasis.opendocument.spreadsheet", zipfile.ZIP_STORED)
        content = zipfile.ZipInfo("content.xml", stamp)
        content.compress_type = zipfile.ZIP_DEFLATED
        z.writestr(content, "".join(parts), compresslevel=6)
        info = zipfile.ZipInfo("META-INF/manifest.xml", stamp)
        info.compress_type = zipfile.ZIP_DEFLATED
        z.writestr(info, manifest)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("output")
    parser.add_argument("--seed", type=int, default=17)
    parser.add_argument("--token", default="alpha")
    args = parser.parse_args()
    os.makedirs(args.output, exist_ok=True)
    write_csv(os.path.join(args.output, "big.csv"), random.Random(args.seed), args.token)
    write_ods(os.path.join(args.output, "big.ods"), random.Random(args.seed + 1), args.token)


if __name__ == "__main__":
    main()
