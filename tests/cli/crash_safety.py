#!/usr/bin/python3
"""Kills varnocliff-cli with SIGKILL at many points of a large workbook's save.

After each kill the workbook must be byte-identical to the original or to the complete result
of an uninterrupted run, and a later run over the folder must leave no temporary file behind.
Usage: crash_safety.py CLI [KILLS]. The kill points spread evenly over the time one whole run
takes, so that they fall into the reading, the rewriting, the writing and the rename alike.
"""
import os
import pathlib
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import zipfile

NS = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"


def make_workbook(path, cells):
    """A workbook of `cells` shared strings on one sheet, written directly (openpyxl is slow)."""
    strings = "".join(f"<si><t>alpha {i} beta</t></si>" for i in range(cells))
    rows = "".join(f'<row r="{i + 1}"><c r="A{i + 1}" t="s"><v>{i}</v></c>'
                   f'<c r="B{i + 1}"><v>{i}</v></c></row>' for i in range(cells))
    parts = {
        "[Content_Types].xml":
            '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
            '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
            '<Default Extension="xml" ContentType="application/xml"/>'
            '<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>'
            '<Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>'
            '<Override PartName="/xl/sharedStrings.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"/>'
            '</Types>',
        "_rels/.rels":
            '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
            f'<Relationship Id="rId1" Type="{REL}/officeDocument" Target="xl/workbook.xml"/></Relationships>',
        "xl/workbook.xml":
            f'<workbook xmlns="{NS}" xmlns:r="{REL}"><sheets>'
            '<sheet name="Data" sheetId="1" r:id="rId1"/></sheets></workbook>',
        "xl/_rels/workbook.xml.rels":
            '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
            f'<Relationship Id="rId1" Type="{REL}/worksheet" Target="worksheets/sheet1.xml"/>'
            f'<Relationship Id="rId2" Type="{REL}/sharedStrings" Target="sharedStrings.xml"/>'
            '</Relationships>',
        "xl/worksheets/sheet1.xml": f'<worksheet xmlns="{NS}"><sheetData>{rows}</sheetData></worksheet>',
        "xl/sharedStrings.xml":
            f'<sst xmlns="{NS}" count="{cells}" uniqueCount="{cells}">{strings}</sst>',
    }
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, text in parts.items():
            archive.writestr(name, text)


def temporaries(folder):
    return [p.name for p in folder.iterdir() if p.name.endswith(".varnocliff-tmp")]


def main():
    cli = sys.argv[1]
    kills = int(sys.argv[2]) if len(sys.argv) > 2 else 25
    command = [cli, "--find", "beta", "--replace", "gamma", "--jobs", "1"]
    with tempfile.TemporaryDirectory() as scratch:
        folder = pathlib.Path(scratch)
        original = folder / "original.xlsx"
        make_workbook(original, 100000)
        before = original.read_bytes()

        # The complete result, and the time one uninterrupted run takes.
        book = folder / "book.xlsx"
        shutil.copyfile(original, book)
        start = time.monotonic()
        subprocess.run(command + [str(book)], check=True, capture_output=True)
        duration = time.monotonic() - start
        after = book.read_bytes()
        assert after != before, "the run changed nothing"
        shutil.copyfile(original, book)
        subprocess.run(command + [str(book)], check=True, capture_output=True)
        assert book.read_bytes() == after, "two runs gave different bytes"

        seen = {"original": 0, "changed": 0}
        for kill in range(kills):
            shutil.copyfile(original, book)
            process = subprocess.Popen(command + [str(book)], stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)
            time.sleep(duration * (kill + 0.5) / kills)
            process.send_signal(signal.SIGKILL)
            process.wait()
            now = book.read_bytes()
            if now == before:
                seen["original"] += 1
            elif now == after:
                seen["changed"] += 1
            else:
                sys.exit(f"kill {kill}: the workbook is neither the original nor the result")
            # A later run over the folder leaves no temporary file of the killed one.
            subprocess.run([cli, "--find", "no such text", str(book)], check=True,
                           capture_output=True)
            left = temporaries(folder)
            if left:
                sys.exit(f"kill {kill}: temporary files left after a later run: {left}")
        print(f"{kills} kills over {duration:.2f} s: {seen['original']} left the original, "
              f"{seen['changed']} the complete result; no temporary file was left")


if __name__ == "__main__":
    main()
