#!/usr/bin/python3
"""Load figures of varnocliff-cli: peak memory, open descriptors and temporary files.

Usage: run_load.py CLI [--books N] [--xml-mb M] [--folder DIR]
Two runs: N small workbooks in one folder (default 10,000), and one workbook whose sheet holds
M megabytes of XML (default 1024) of inline strings that all change. While each run lasts its
resident memory, its open descriptors and the temporary files beside the workbooks are sampled;
the temporary files are also counted before and after.
"""
import argparse
import os
import pathlib
import shutil
import subprocess
import tempfile
import time
import zipfile

NS = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
TYPES = ('<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
         '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
         '<Default Extension="xml" ContentType="application/xml"/>'
         '<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>'
         '<Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>'
         '</Types>')


def fixed_parts(archive):
    archive.writestr("[Content_Types].xml", TYPES)
    archive.writestr("_rels/.rels",
                     '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
                     f'<Relationship Id="rId1" Type="{REL}/officeDocument" Target="xl/workbook.xml"/>'
                     '</Relationships>')
    archive.writestr("xl/workbook.xml", f'<workbook xmlns="{NS}" xmlns:r="{REL}"><sheets>'
                     '<sheet name="Data" sheetId="1" r:id="rId1"/></sheets></workbook>')
    archive.writestr("xl/_rels/workbook.xml.rels",
                     '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
                     f'<Relationship Id="rId1" Type="{REL}/worksheet" Target="worksheets/sheet1.xml"/>'
                     '</Relationships>')


def cell(row):
    return f'<row r="{row}"><c r="A{row}" t="inlineStr"><is><t>alpha {row}</t></is></c></row>'


def small_workbook(path):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        fixed_parts(archive)
        archive.writestr("xl/worksheets/sheet1.xml",
                         f'<worksheet xmlns="{NS}"><sheetData>{cell(1)}{cell(2)}</sheetData></worksheet>')


def large_workbook(path, megabytes):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=1) as archive:
        fixed_parts(archive)
        with archive.open("xl/worksheets/sheet1.xml", "w", force_zip64=True) as sheet:
            sheet.write(f'<worksheet xmlns="{NS}"><sheetData>'.encode())
            written, row = 0, 1
            while written < megabytes << 20:
                block = "".join(cell(r) for r in range(row, row + 10000)).encode()
                sheet.write(block)
                written += len(block)
                row += 10000
            sheet.write(b"</sheetData></worksheet>")


def temporaries(folder):
    return sum(1 for name in os.listdir(folder) if name.endswith(".varnocliff-tmp"))


def run(cli, folder, arguments):
    """Runs the command line; its seconds, exit status, peak resident memory (MiB, from the
    kernel's accounting), open descriptors (first and peak) and temporary files (before, peak
    and after)."""
    before = temporaries(folder)
    start = time.monotonic()
    process = subprocess.Popen([cli] + arguments, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    peak_fds = peak_temps = 0
    fds_first = None
    last_listing = 0.0
    while True:
        pid, status, usage = os.wait4(process.pid, os.WNOHANG)
        if pid != 0:
            break
        try:
            fds = len(os.listdir(f"/proc/{process.pid}/fd"))
            fds_first = fds if fds_first is None else fds_first
            peak_fds = max(peak_fds, fds)
        except OSError:
            pass
        # Listing a folder of 10,000 files costs time itself: at most twice a second.
        if time.monotonic() - last_listing > 0.5:
            peak_temps = max(peak_temps, temporaries(folder))
            last_listing = time.monotonic()
        time.sleep(0.02)
    return {"seconds": round(time.monotonic() - start, 1),
            "exit": os.waitstatus_to_exitcode(status), "peak_mib": round(usage.ru_maxrss / 1024, 1),
            "fds_first": fds_first, "fds_peak": peak_fds, "temps_before": before,
            "temps_peak": peak_temps, "temps_after": temporaries(folder)}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("cli")
    parser.add_argument("--books", type=int, default=10000)
    parser.add_argument("--xml-mb", type=int, default=1024)
    parser.add_argument("--folder", default=None)
    args = parser.parse_args()
    cli = os.path.abspath(args.cli)
    with tempfile.TemporaryDirectory(dir=args.folder) as scratch:
        root = pathlib.Path(scratch)
        many = root / "many"
        many.mkdir()
        small_workbook(many / "template.xlsx")
        for i in range(args.books):
            shutil.copyfile(many / "template.xlsx", many / f"book{i:05}.xlsx")
        (many / "template.xlsx").unlink()
        figures = run(cli, many, ["--find", "alpha", "--replace", "omega", "--jobs", "2", str(many)])
        print(f"{args.books} small workbooks: {figures}")
        shutil.rmtree(many)

        large = root / "large"
        large.mkdir()
        large_workbook(large / "large.xlsx", args.xml_mb)
        size = (large / "large.xlsx").stat().st_size >> 20
        figures = run(cli, large, ["--find", "alpha", "--replace", "omega", str(large / "large.xlsx")])
        print(f"one workbook of {args.xml_mb} MiB of sheet XML ({size} MiB packed): {figures}")


if __name__ == "__main__":
    main()
