#!/usr/bin/python3
"""Runs varnocliff-cli over copies of every OOXML workbook of the corpus, once for each of a list
of find/replace pairs, and checks each file against what the run reported:
  - a failed or unchanged file is byte-for-byte the copy it was;
  - a changed file is a sound ZIP (every CRC checks) and, when openpyxl could load the original,
    openpyxl loads it too;
  - every file given is in the report.
What each cell becomes is checked by the golden tests; this run looks for damage across many
real files and replacements.

It is a long run (one to two minutes), not part of `make test`: `make sweep`.
Usage: corpus_sweep.py [--cli PATH] [--corpus DIR] [--work DIR] [FIND=REPLACE ...]
"""
import argparse
import hashlib
import json
import os
import shutil
import subprocess
import sys
import tempfile
import warnings
import zipfile

warnings.filterwarnings("ignore")
import openpyxl  # noqa: E402  (after the warning filter: openpyxl warns on import of some parts)

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

# Pairs that reach text, numbers, formulas and references, markup characters, blanking and
# growth, letters beyond ASCII, and table column names.
DEFAULT_PAIRS = ["e=E", "a=Ä", "1=2", "SUM=AVERAGE", "&=<&>", "A1=B2", "$=", " =  ", "e="]


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def loads(path):
    try:
        openpyxl.load_workbook(path)
        return True
    except Exception:  # any failure to read counts; the original decides whether it matters
        return False


def sweep(cli, corpus, work, find, replace):
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    originals = {}
    for folder, _, names in os.walk(corpus):
        for name in names:
            if name.lower().endswith((".xlsx", ".xlsm")):
                source = os.path.join(folder, name)
                copy = os.path.join(work, os.path.relpath(source, corpus).replace(os.sep, "__"))
                shutil.copyfile(source, copy)
                originals[copy] = (source, digest(copy))
    run = subprocess.run([cli, "--find", find, "--replace", replace, "--report", "json"]
                         + sorted(originals), capture_output=True, text=True, check=False)
    problems = []
    counts = {}
    for line in run.stdout.splitlines():
        record = json.loads(line)
        if "summary" in record:
            continue
        path, status = record["path"], record["status"]
        counts[status] = counts.get(status, 0) + 1
        source, before = originals.pop(path)
        if status != "changed":
            if digest(path) != before:
                problems.append(f"{path}: reported {status} but its bytes changed")
            continue
        try:
            with zipfile.ZipFile(path) as archive:
                damaged = archive.testzip()
        except zipfile.BadZipFile as error:
            problems.append(f"{path}: not a ZIP after the run ({error})")
            continue
        if damaged is not None:
            problems.append(f"{path}: entry {damaged} fails its CRC")
        elif loads(source) and not loads(path):
            problems.append(f"{path}: openpyxl loads the original but not the result")
    for path in originals:
        problems.append(f"{path}: not in the report")
    if run.returncode not in (0, 1):
        problems.append(f"the command line ended with status {run.returncode}: {run.stderr[-500:]}")
    return counts, problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cli", default=os.path.join(ROOT, "build", "default", "bin", "varnocliff-cli"))
    parser.add_argument("--corpus", default=os.path.join(ROOT, "..", "shared", "corpus"))
    parser.add_argument("--work", default=None, help="scratch folder (default: a new temporary one)")
    parser.add_argument("pairs", nargs="*", default=DEFAULT_PAIRS)
    args = parser.parse_args()
    if not os.path.isdir(args.corpus):
        print(f"corpus not found: {args.corpus}", file=sys.stderr)
        return 2
    work = args.work or tempfile.mkdtemp(prefix="varnocliff-sweep-")
    failed = False
    for pair in args.pairs:
        find, _, replace = pair.partition("=")
        counts, problems = sweep(args.cli, args.corpus, work, find, replace)
        print(f"{find!r} -> {replace!r}: {counts}, problems: {len(problems)}")
        for problem in problems:
            print("  " + problem)
        failed = failed or bool(problems)
    shutil.rmtree(work, ignore_errors=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
