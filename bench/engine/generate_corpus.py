#!/usr/bin/env python3
"""Writes the engine benchmark corpus: deterministic .xlsx workbooks of mixed cells.

Sets: small (200 workbooks, 3 sheets, about 2,000 cells each), medium (10 workbooks of about
200,000 cells), large (1 workbook of about 2,000,000 cells and 100 MB of XML). Text cells are
shared strings (some with rich text runs) and inline strings; the rest numbers and formulas.
The token (default "alpha") is in about 10% of the text cells, in some formulas and in some
rich runs. The formulas set has the size of medium, but two cells in three are formulas: plain
ones (a third with the token, some with a newer function's "_xlfn." prefix) and shared-formula
groups of 50 rows down three columns, two of which hold the token, so that every changed group
is written out cell by cell. The same seed gives the same bytes.

Usage: generate_corpus.py OUTPUT_FOLDER [--set small|medium|large|formulas|all] [--seed N]
                          [--token T]
"""
import argparse
import os
import random
import zipfile

SETS = {
    # name: (workbooks, sheets per workbook, rows per sheet, columns)
    "small": (200, 3, 67, 10),
    "medium": (10, 3, 6667, 10),
    "large": (1, 4, 50000, 10),
    "formulas": (10, 3, 6667, 10),
}
FORMULA_SETS = {"formulas"}
GROUP_ROWS = 50
WORDS = ("north south east west total amount invoice order client supplier region budget "
         "forecast actual margin quarter month week product service account balance note "
         "status open closed pending approved review draft final").split()
DATE = (2024, 3, 1, 9, 30, 0)

CONTENT_TYPES = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"><Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/><Default Extension="xml" ContentType="application/xml"/><Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>{sheets}<Override PartName="/xl/styles.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml"/><Override PartName="/xl/sharedStrings.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"/><Override PartName="/docProps/core.xml" ContentType="application/vnd.openxmlformats-package.core-properties+xml"/><Override PartName="/docProps/app.xml" ContentType="application/vnd.openxmlformats-officedocument.extended-properties+xml"/></Types>"""
SHEET_TYPE = '<Override PartName="/xl/worksheets/sheet{n}.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>'
ROOT_RELS = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId3" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties" Target="docProps/app.xml"/><Relationship Id="rId2" Type="http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties" Target="docProps/core.xml"/><Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/></Relationships>"""
APP = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Properties xmlns="http://schemas.openxmlformats.org/officeDocument/2006/extended-properties"><Application>Microsoft Excel</Application></Properties>"""
CORE = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<cp:coreProperties xmlns:cp="http://schemas.openxmlformats.org/package/2006/metadata/core-properties" xmlns:dc="http://purl.org/dc/elements/1.1/" xmlns:dcterms="http://purl.org/dc/terms/" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance"><dc:creator>bench</dc:creator><dcterms:created xsi:type="dcterms:W3CDTF">2024-03-01T09:30:00Z</dcterms:created></cp:coreProperties>"""
WORKBOOK = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><bookViews><workbookView/></bookViews><sheets>{sheets}</sheets><calcPr calcId="191029"/></workbook>"""
WORKBOOK_RELS = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">{sheets}<Relationship Id="rIdS" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles" Target="styles.xml"/><Relationship Id="rIdT" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" Target="sharedStrings.xml"/></Relationships>"""
STYLES = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><numFmts count="1"><numFmt numFmtId="164" formatCode="0.00"/></numFmts><fonts count="2"><font><sz val="11"/><name val="Calibri"/></font><font><b/><sz val="11"/><name val="Calibri"/></font></fonts><fills count="2"><fill><patternFill patternType="none"/></fill><fill><patternFill patternType="gray125"/></fill></fills><borders count="1"><border><left/><right/><top/><bottom/><diagonal/></border></borders><cellStyleXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0"/></cellStyleXfs><cellXfs count="3"><xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0"/><xf numFmtId="164" fontId="0" fillId="0" borderId="0" xfId="0" applyNumberFormat="1"/><xf numFmtId="0" fontId="1" fillId="0" borderId="0" xfId="0" applyFont="1"/></cellXfs><cellStyles count="1"><cellStyle name="Normal" xfId="0" builtinId="0"/></cellStyles></styleSheet>"""
MAIN_NS = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"


def column_name(index):
    name = ""
    index += 1
    while index:
        index, rest = divmod(index - 1, 26)
        name = chr(65 + rest) + name
    return name


class Workbook:
    """One workbook's shared strings and sheets, drawn from one random stream."""

    def __init__(self, rng, token):
        self.rng = rng
        self.token = token
        self.strings = []  # <si> bodies
        self.index = {}
        self.references = 0

    def phrase(self):
        words = [self.rng.choice(WORDS) for _ in range(self.rng.randint(1, 3))]
        if self.rng.random() < 0.10:
            words.insert(self.rng.randint(0, len(words)), self.token)
        if self.rng.random() < 0.2:
            words.append(str(self.rng.randint(1, 999)))
        return " ".join(words)

    def shared(self, body):
        self.references += 1
        if body not in self.index:
            self.index[body] = len(self.strings)
            self.strings.append(body)
        return self.index[body]

    def rich(self):
        # Two or three runs, the token sometimes in a bold run of its own.
        runs = []
        for i in range(self.rng.randint(2, 3)):
            text = self.phrase() + " "
            bold = "<b/>" if i % 2 else ""
            runs.append('<r><rPr>%s<sz val="11"/><rFont val="Calibri"/></rPr>'
                        '<t xml:space="preserve">%s</t></r>' % (bold, text))
        return "".join(runs)

    def cell(self, ref, row):
        draw = self.rng.random()
        if draw < 0.45:
            return '<c r="%s" t="s"><v>%d</v></c>' % (ref, self.shared("<t>%s</t>" % self.phrase()))
        if draw < 0.48:
            return '<c r="%s" t="s"><v>%d</v></c>' % (ref, self.shared(self.rich()))
        if draw < 0.53:
            return '<c r="%s" t="inlineStr"><is><t>%s</t></is></c>' % (ref, self.phrase())
        if draw < 0.90:
            return '<c r="%s" s="1"><v>%s</v></c>' % (ref, round(self.rng.uniform(-1e5, 1e5), 2))
        if draw < 0.93:
            formula = 'IF(A%d="%s",1,0)' % (row, self.token)
            return '<c r="%s"><f>%s</f><v>0</v></c>' % (ref, formula.replace('"', "&quot;"))
        formula = "SUM(B%d:D%d)*%d" % (row, row, self.rng.randint(2, 9))
        return '<c r="%s"><f>%s</f><v>0</v></c>' % (ref, formula)

    def formula_cell(self, ref, row, column):
        """Columns A-C: text and numbers; D-G: plain formulas; H-J: shared-formula groups."""
        if column < 3:
            if self.rng.random() < 0.6:
                return '<c r="%s" t="s"><v>%d</v></c>' % (
                    ref, self.shared("<t>%s</t>" % self.phrase()))
            return '<c r="%s"><v>%s</v></c>' % (ref, round(self.rng.uniform(-1e5, 1e5), 2))
        if column < 7:
            draw = self.rng.random()
            if draw < 0.2:
                formula = 'IF(A%d="%s",B%d*2,C%d)' % (row, self.token, row, row)
            elif draw < 0.33:
                formula = '_xlfn.XLOOKUP("%s",A1:A%d,B1:B%d)' % (self.token, row, row)
            elif draw < 0.66:
                formula = "SUM(B%d:C%d)*%d" % (row, row, self.rng.randint(2, 9))
            else:
                formula = 'IF(ISNUMBER(B%d),ROUND(B%d/3,2),"%s")' % (row, row,
                                                                     self.rng.choice(WORDS))
            return '<c r="%s"><f>%s</f><v>0</v></c>' % (ref, formula.replace('"', "&quot;"))
        # One group per column and 50 rows; its first cell holds the text and the range.
        group = (column - 7) * 100000 + (row - 1) // GROUP_ROWS
        if (row - 1) % GROUP_ROWS == 0:
            last = min(row + GROUP_ROWS - 1, self.rows)
            master = ['COUNTIF(A%d:C%d,"%s")+B%d' % (row, row, self.token, row),
                      "B%d*2+C%d" % (row, row),
                      'IF(A%d="%s",1,0)' % (row, self.token)][column - 7]
            return '<c r="%s"><f t="shared" ref="%s%d:%s%d" si="%d">%s</f><v>0</v></c>' % (
                ref, column_name(column), row, column_name(column), last, group,
                master.replace('"', "&quot;"))
        return '<c r="%s"><f t="shared" si="%d"/><v>0</v></c>' % (ref, group)

    def sheet(self, rows, columns):
        parts = ['<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
                 '<worksheet xmlns="%s" xmlns:r="http://schemas.openxmlformats.org/'
                 'officeDocument/2006/relationships"><dimension ref="A1:%s%d"/><sheetViews>'
                 '<sheetView workbookViewId="0"/></sheetViews><sheetFormatPr defaultRowHeight='
                 '"15"/><sheetData>' % (MAIN_NS, column_name(columns - 1), rows)]
        names = [column_name(c) for c in range(columns)]
        self.rows = rows
        for row in range(1, rows + 1):
            if self.formulas:
                cells = "".join(self.formula_cell("%s%d" % (names[c], row), row, c)
                                for c in range(columns))
            else:
                cells = "".join(self.cell("%s%d" % (names[c], row), row)
                                for c in range(columns))
            parts.append('<row r="%d">%s</row>' % (row, cells))
        parts.append("</sheetData><pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" "
                     "bottom=\"0.75\" header=\"0.3\" footer=\"0.3\"/></worksheet>")
        return "".join(parts)

    def shared_strings(self):
        return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<sst xmlns="%s" '
                'count="%d" uniqueCount="%d">%s</sst>' % (
                    MAIN_NS, self.references, len(self.strings),
                    "".join("<si>%s</si>" % s for s in self.strings)))


def write_workbook(path, rng, sheets, rows, columns, token, formulas):
    book = Workbook(rng, token)
    book.formulas = formulas
    sheet_xml = [book.sheet(rows, columns) for _ in range(sheets)]
    entries = [
        ("[Content_Types].xml", CONTENT_TYPES.format(
            sheets="".join(SHEET_TYPE.format(n=n + 1) for n in range(sheets)))),
        ("_rels/.rels", ROOT_RELS),
        ("docProps/app.xml", APP),
        ("docProps/core.xml", CORE),
        ("xl/workbook.xml", WORKBOOK.format(sheets="".join(
            '<sheet name="Sheet%d" sheetId="%d" r:id="rId%d"/>' % (n + 1, n + 1, n + 1)
            for n in range(sheets)))),
        ("xl/_rels/workbook.xml.rels", WORKBOOK_RELS.format(sheets="".join(
            '<Relationship Id="rId%d" Type="http://schemas.openxmlformats.org/officeDocument/'
            '2006/relationships/worksheet" Target="worksheets/sheet%d.xml"/>' % (n + 1, n + 1)
            for n in range(sheets)))),
        ("xl/styles.xml", STYLES),
        ("xl/sharedStrings.xml", book.shared_strings()),
    ] + [("xl/worksheets/sheet%d.xml" % (n + 1), xml) for n, xml in enumerate(sheet_xml)]
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=6) as archive:
        for name, text in entries:
            info = zipfile.ZipInfo(name, DATE)
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, text.encode("utf-8"), compresslevel=6)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output")
    parser.add_argument("--set", default="all", choices=list(SETS) + ["all"])
    parser.add_argument("--seed", type=int, default=20240301)
    parser.add_argument("--token", default="alpha")
    args = parser.parse_args()
    for name in SETS if args.set == "all" else [args.set]:
        workbooks, sheets, rows, columns = SETS[name]
        folder = os.path.join(args.output, name)
        os.makedirs(folder, exist_ok=True)
        # One stream per set, so that each set is the same whichever others are made.
        rng = random.Random("%s-%d" % (name, args.seed))
        for n in range(workbooks):
            write_workbook(os.path.join(folder, "book%03d.xlsx" % (n + 1)), rng, sheets, rows,
                           columns, args.token, name in FORMULA_SETS)
        print("%s: %d workbooks in %s" % (name, workbooks, folder))


if __name__ == "__main__":
    main()
