"""Independent checks of .xls workbooks written by the engine.

cells FILE: prints every cell that is not empty: sheet!cell, kind and value (tab-separated).
corrupt KIND ORIGINAL TARGET: writes a copy with one fault (see corrupt).
structure FILE...: each file opens in xlrd (formatting_info, any logged warning fails) and in
olefile (DEFECT_INCORRECT), and its Workbook stream is consistent: every BOUNDSHEET points at
a BOF, the SST obeys the continuation rules and its counts, EXTSST, INDEX and DBCELL point
where they must.
pair ORIGINAL COPY CHANGES FIND REPLACEMENT...: COPY passes the structure checks, every stream
but Workbook and every directory entry but Workbook's start and size is as in ORIGINAL, every
cell not listed in CHANGES (sheet TAB cell TAB before TAB after lines) reads as in ORIGINAL,
and every listed cell that is not a formula reads as its text with FIND replaced (match case).
Prints one line per file; exits 1 at the first failure.
"""
import io
import struct
import sys

import olefile
import xlrd

# Cell records, and DBCELL itself, where a block whose rows hold no cells ends.
CELLS = {0x00FD, 0x0204, 0x00D6, 0x0203, 0x027E, 0x00BD, 0x0205, 0x0201, 0x00BE, 0x0006, 0x00D7}


class Bad(Exception):
    pass


def records(stream):
    out, at, depth = [], 0, 0
    while at + 4 <= len(stream):
        rtype, size = struct.unpack_from("<HH", stream, at)
        if rtype == 0 and size == 0 and depth == 0 and out:
            break
        if size > 8224:
            raise Bad("record 0x%04X at %d holds %d bytes" % (rtype, at, size))
        out.append((at, rtype, stream[at + 4:at + 4 + size]))
        depth += 1 if rtype == 0x0809 else -1 if rtype == 0x000A else 0
        at += 4 + size
    return out


def check_sst(recs, index, label_sst, widths=None):
    """Walks the SST and its CONTINUE records; returns (absolute offset, offset in record) of
    every string, and adds the stream offset of every width byte of continued characters to
    widths."""
    segs = [recs[index]]
    k = index + 1
    while k < len(recs) and recs[k][1] == 0x003C:
        segs.append(recs[k])
        k += 1
    seg, off = 0, 8
    total, unique = struct.unpack_from("<ii", segs[0][2], 0)
    if total != label_sst:
        raise Bad("SST cstTotal %d, but %d LABELSST cells" % (total, label_sst))
    places = []

    def take(n, what):
        nonlocal seg, off
        out = b""
        while n:
            if off == len(segs[seg][2]):
                seg, off = seg + 1, 0
                if seg == len(segs):
                    raise Bad("SST ends inside %s" % what)
            t = min(n, len(segs[seg][2]) - off)
            out += segs[seg][2][off:off + t]
            off += t
            n -= t
        return out

    for i in range(unique):
        if off == len(segs[seg][2]):
            seg, off = seg + 1, 0
            if seg == len(segs):
                raise Bad("SST holds fewer strings than cstUnique %d" % unique)
        places.append((segs[seg][0] + 4 + off, 4 + off))
        start = seg
        cch, flags = struct.unpack("<HB", take(3, "a header"))
        if flags & ~0x0D:
            raise Bad("string %d has flags 0x%02X" % (i, flags))
        runs = struct.unpack("<H", take(2, "a header"))[0] if flags & 8 else 0
        ext = struct.unpack("<i", take(4, "a header"))[0] if flags & 4 else 0
        if seg != start:
            raise Bad("the header of string %d is split" % i)
        width, left = (2 if flags & 1 else 1), cch
        while left:
            if off == len(segs[seg][2]):
                seg, off = seg + 1, 0
                if seg == len(segs):
                    raise Bad("SST ends inside string %d" % i)
                flag = segs[seg][2][0]
                if widths is not None:
                    widths.append(segs[seg][0] + 4)
                if flag not in (0, 1):
                    raise Bad("continued string %d has no width byte (found 0x%02X)" % (i, flag))
                width, off = (2 if flag else 1), 1
            n = min(left, (len(segs[seg][2]) - off) // width)
            if n == 0:
                raise Bad("string %d cuts a UTF-16 unit" % i)
            off += n * width
            left -= n
        for _ in range(runs):
            if len(segs[seg][2]) - off < 4 and off != len(segs[seg][2]):
                raise Bad("a formatting run of string %d is split" % i)
            take(4, "runs")
        take(ext, "phonetic data")
    if seg != len(segs) - 1 or off != len(segs[seg][2]):
        raise Bad("SST holds more than cstUnique %d strings" % unique)
    return places


def check_stream(stream):
    recs = records(stream)
    starts = {r[0]: r for r in recs}
    label_sst = sum(1 for r in recs if r[1] == 0x00FD)
    places, extsst = None, None
    for i, (at, rtype, data) in enumerate(recs):
        if rtype == 0x0085:
            pos = struct.unpack_from("<I", data)[0]
            if pos not in starts or starts[pos][1] != 0x0809:
                raise Bad("BOUNDSHEET points at %d, which is no BOF" % pos)
        elif rtype == 0x00FC:
            places = check_sst(recs, i, label_sst)
        elif rtype == 0x00FF:
            extsst = data
        elif rtype == 0x020B:
            for k in range(16, len(data) - 3, 4):
                pos = struct.unpack_from("<I", data, k)[0]
                if pos not in starts or starts[pos][1] != 0x00D7:
                    raise Bad("INDEX points at %d, which is no DBCELL" % pos)
        elif rtype == 0x00D7 and struct.unpack_from("<I", data)[0] != 0:
            row = at - struct.unpack_from("<I", data)[0]
            if row not in starts or starts[row][1] != 0x0208:
                raise Bad("DBCELL at %d points at %d, which is no ROW" % (at, row))
            cell = row + 20
            for k in range(4, len(data) - 1, 2):
                step = struct.unpack_from("<H", data, k)[0]
                cell += step
                if step and (cell not in starts or starts[cell][1] not in CELLS):  # 0: a row without cells
                    raise Bad("DBCELL at %d points at %d, which is no cell" % (at, cell))
    if places is not None and extsst is not None:
        dsst = struct.unpack_from("<H", extsst)[0]
        # Some writers add buckets past the last string; those point nowhere and are ignored.
        buckets = (len(extsst) - 2) // 8
        if dsst == 0 or buckets < (len(places) + dsst - 1) // dsst:
            raise Bad("EXTSST has %d buckets of %d for %d strings" % (buckets, dsst, len(places)))
        for b, k in enumerate(range(0, len(places), dsst)):
            ib, cb = struct.unpack_from("<IH", extsst, 2 + 8 * b)
            if (ib, cb) != places[k]:
                raise Bad("EXTSST bucket %d says %s, string %d is at %s" % (b, (ib, cb), k, places[k]))


def open_book(path):
    log = io.StringIO()
    book = xlrd.open_workbook(path, formatting_info=True, logfile=log)
    if "WARNING" in log.getvalue():
        raise Bad("xlrd: " + log.getvalue().strip())
    return book


def structure(path):
    ole = olefile.OleFileIO(path, raise_defects=olefile.DEFECT_INCORRECT)
    check_stream(ole.openstream("Workbook").read())
    open_book(path)
    return ole


def same_container(original, copy):
    a = olefile.OleFileIO(original, raise_defects=olefile.DEFECT_INCORRECT)
    b = copy
    names = lambda o: sorted("/".join(p) for p in o.listdir(streams=True, storages=True))
    if names(a) != names(b):
        raise Bad("the directory lists other entries")
    for entry_a, entry_b in zip(a.direntries, b.direntries):
        if (entry_a is None) != (entry_b is None):
            raise Bad("directory entries differ")
        if entry_a is None:
            continue
        fields = ("name", "entry_type", "color", "sid_left", "sid_right", "sid_child", "clsid",
                  "dwUserFlags", "createTime", "modifyTime")
        for f in fields:
            if getattr(entry_a, f) != getattr(entry_b, f):
                raise Bad("directory entry %s: %s differs" % (entry_a.name, f))
        if entry_a.name != "Workbook" and entry_a.entry_type == olefile.STGTY_STREAM:
            if (entry_a.isectStart, entry_a.size) != (entry_b.isectStart, entry_b.size):
                raise Bad("stream %s moved" % entry_a.name)
    for path in a.listdir(streams=True, storages=False):
        if path != ["Workbook"] and a.openstream(path).read() != b.openstream(path).read():
            raise Bad("stream %s differs" % "/".join(path))


def cell_texts(book):
    out = {}
    for s in book.sheets():
        for r in range(s.nrows):
            for c in range(s.ncols):
                cell = s.cell(r, c)
                name = xlrd.formula.cellname(r, c).replace("$", "")
                out[(s.name, name)] = (cell.ctype, cell.value, cell.xf_index,
                                       tuple(s.rich_text_runlist_map.get((r, c), ())))
    return out


def unescape(field):
    out, i = [], 0
    while i < len(field):
        if field[i] == "\\" and i + 1 < len(field):
            out.append({"t": "\t", "r": "\r", "n": "\n"}.get(field[i + 1], field[i + 1]))
            i += 2
        else:
            out.append(field[i])
            i += 1
    return "".join(out)


def pair(original, copy, changes, find, replacement):
    ole = structure(copy)
    same_container(original, ole)
    before, after = cell_texts(open_book(original)), cell_texts(open_book(copy))
    listed = {}
    for line in open(changes, encoding="utf-8").read().split("\n"):
        if line:
            sheet, cell, old, new = (unescape(f) for f in line.split("\t"))
            listed[(sheet, cell)] = (old, new)
    for key in set(before) | set(after):
        a = before.get(key, (xlrd.XL_CELL_EMPTY, "", None, ()))
        b = after.get(key, (xlrd.XL_CELL_EMPTY, "", None, ()))
        if key not in listed:
            if a[:3] != b[:3] and not (a[0] in (0, 6) and b[0] in (0, 6)):
                raise Bad("%s!%s changed from %r to %r but was not reported" % (key + (a, b)))
            continue
        old, new = listed[key]
        if old.startswith("="):
            continue  # the cached result stays until the formula is calculated again
        if new != old.replace(find, replacement):
            raise Bad("%s!%s reported %r -> %r" % (key + (old, new)))
        if b[0] == xlrd.XL_CELL_TEXT and b[1] != new:
            raise Bad("%s!%s reads %r, expected %r" % (key + (b[1], new)))
        if b[0] == xlrd.XL_CELL_TEXT:
            for pos, _ in b[3]:
                if pos >= len(b[1]):
                    raise Bad("%s!%s has a run past its text" % key)
        if b[2] != a[2] and a[2] is not None:
            raise Bad("%s!%s lost its format" % key)
    return len(listed)


def corrupt(kind, source, target):
    """Writes to target a copy of source with one fault of the given kind, at the same size:
    bof (a BOUNDSHEET 4 bytes off), width (a continued string's width byte replaced by the
    character after it, as a reader sees a missing one) or extsst (a stale bucket)."""
    import shutil
    shutil.copyfile(source, target)
    ole = olefile.OleFileIO(target, write_mode=True)
    stream = bytearray(ole.openstream("Workbook").read())
    recs = records(bytes(stream))
    if kind == "bof":
        at = next(r[0] for r in recs if r[1] == 0x0085)
        struct.pack_into("<I", stream, at + 4, struct.unpack_from("<I", stream, at + 4)[0] + 4)
    elif kind == "width":
        widths = []
        sst = next(i for i, r in enumerate(recs) if r[1] == 0x00FC)
        check_sst(recs, sst, sum(1 for r in recs if r[1] == 0x00FD), widths)
        if not widths:
            raise Bad("no continued string to break")
        stream[widths[0]] = stream[widths[0] + 1]
    else:
        at = next(r[0] for r in recs if r[1] == 0x00FF)
        struct.pack_into("<I", stream, at + 6, struct.unpack_from("<I", stream, at + 6)[0] + 1)
    ole.write_stream("Workbook", bytes(stream))
    ole.close()


def main(args):
    try:
        if args[0] == "corrupt":
            corrupt(*args[1:4])
            print("corrupted:", args[3])
        elif args[0] == "cells":
            # sheet!A1 TAB kind TAB value, for every cell that is not empty
            kinds = {1: "text", 2: "number", 3: "date", 4: "bool", 5: "error"}
            for s in open_book(args[1]).sheets():
                for r in range(s.nrows):
                    for c in range(s.ncols):
                        cell = s.cell(r, c)
                        if cell.ctype in kinds:
                            value = repr(cell.value) if cell.ctype in (2, 3) else cell.value
                            print("%s!%s\t%s\t%s" % (s.name, xlrd.formula.cellname(r, c),
                                                      kinds[cell.ctype], value))
        elif args[0] == "structure":
            for path in args[1:]:
                structure(path)
                print("ok:", path)
        else:
            for k in range(1, len(args), 5):
                try:
                    structure(args[k])
                except Exception as e:  # an original that the checks cannot vouch for
                    print("skipped:", args[k], e)
                    continue
                n = pair(*args[k:k + 5])
                print("ok:", args[k + 1], "cells changed:", n)
    except Bad as e:
        print("FAIL:", e)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
