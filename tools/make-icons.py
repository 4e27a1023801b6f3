#!/usr/bin/python3
"""Draws the program icon (a sheet of cells with one cell replaced) at every size that ships.

Run from the top of the repository: tools/make-icons.py. Writes app/icons/varnocliff-<N>.png.
Only the standard library is used, so the icon can be redrawn on any machine.
"""
import math
import pathlib
import struct
import zlib

SIZES = (32, 48, 64, 128, 256)
SAMPLES = 4  # per pixel and axis

TILE_TOP = (0x23, 0x96, 0x7E)
TILE_BOTTOM = (0x14, 0x66, 0x55)
SHEET = (0xFF, 0xFF, 0xFF)
GRID = (0x9C, 0xC9, 0xBE)
HEADER = (0xD9, 0xEE, 0xE8)
ACCENT = (0xF2, 0x8C, 0x28)


def rounded_rect(x, y, left, top, right, bottom, radius):
    if not (left <= x <= right and top <= y <= bottom):
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return math.hypot(x - cx, y - cy) <= radius


def colour_at(x, y):
    """The colour (r, g, b, a) at (x, y) in the unit square, or None outside the icon."""
    if not rounded_rect(x, y, 0.04, 0.04, 0.96, 0.96, 0.18):
        return None
    sheet = (0.18, 0.18, 0.82, 0.82)
    if sheet[0] <= x <= sheet[2] and sheet[1] <= y <= sheet[3]:
        columns = (0.18, 0.34, 0.58, 0.82)
        rows = (0.18, 0.32, 0.495, 0.67, 0.82)
        line = 0.028
        for edge in columns[1:-1]:
            if abs(x - edge) <= line / 2:
                return GRID + (255,)
        for edge in rows[1:-1]:
            if abs(y - edge) <= line / 2:
                return GRID + (255,)
        if x < columns[1] or y < rows[1]:
            return HEADER + (255,)
        if columns[2] < x < columns[3] and rows[2] < y < rows[3]:
            return ACCENT + (255,)
        return SHEET + (255,)
    t = (y - 0.04) / 0.92
    return tuple(round(a + (b - a) * t) for a, b in zip(TILE_TOP, TILE_BOTTOM)) + (255,)


def render(size):
    rows = []
    for py in range(size):
        row = bytearray([0])  # PNG filter type: none
        for px in range(size):
            r = g = b = a = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    c = colour_at((px + (sx + 0.5) / SAMPLES) / size,
                                  (py + (sy + 0.5) / SAMPLES) / size)
                    if c is not None:
                        r += c[0] * c[3]
                        g += c[1] * c[3]
                        b += c[2] * c[3]
                        a += c[3]
            n = SAMPLES * SAMPLES
            if a:
                row += bytes((round(r / a), round(g / a), round(b / a), round(a / n)))
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return b"".join(rows)


def png(size, pixels):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(pixels, 9)) + chunk(b"IEND", b""))


def main():
    out = pathlib.Path("app/icons")
    out.mkdir(parents=True, exist_ok=True)
    for size in SIZES:
        (out / f"varnocliff-{size}.png").write_bytes(png(size, render(size)))


if __name__ == "__main__":
    main()
