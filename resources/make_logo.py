#!/usr/bin/python3
"""Draws the Brenvaldor logo (a register table on a blue tile) as square
RGBA PNG files: the 512 pixel logo of the About dialog and the icon sizes
of the hicolor theme. Needs nothing beyond the Python standard library.

    resources/make_logo.py        rewrites resources/logo.png and resources/icons/
"""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SIZES = (16, 24, 32, 48, 64, 128, 256, 512)

TILE_TOP = (52, 104, 186)
TILE_BOTTOM = (22, 46, 98)
PANEL = (246, 248, 251)
HEADER = (60, 60, 60)
LINE = (190, 196, 204)
ACTIVE = (73, 133, 217)
PULSE = (120, 220, 140)


def rounded(u, v, x0, y0, x1, y1, r):
    if u < x0 or u > x1 or v < y0 or v > y1:
        return False
    cx = min(max(u, x0 + r), x1 - r)
    cy = min(max(v, y0 + r), y1 - r)
    return (u - cx) ** 2 + (v - cy) ** 2 <= r * r


def colour_at(u, v):
    """The colour of the point (u, v) of the unit square, or None outside."""
    if not rounded(u, v, 0.04, 0.04, 0.96, 0.96, 0.2):
        return None
    if rounded(u, v, 0.16, 0.30, 0.84, 0.84, 0.05):
        rows = (0.30, 0.41, 0.52, 0.63, 0.74, 0.84)
        if v < rows[1] or u < 0.32:
            return HEADER
        if any(abs(v - y) < 0.006 for y in rows[2:-1]) or abs(u - 0.58) < 0.006:
            return LINE
        if rows[2] < v < rows[3] and 0.58 < u:
            return ACTIVE
        return PANEL
    # A pulse train above the table: the poll cycle.
    if 0.13 < v < 0.25 and 0.16 < u < 0.84:
        step = int((u - 0.16) / 0.085)
        high = step % 2 == 1
        edge = abs((u - 0.16) - step * 0.085) < 0.012
        level = 0.15 if high else 0.23
        if abs(v - level) < 0.012 or edge:
            return PULSE
    t = v
    return tuple(round(a + (b - a) * t) for a, b in zip(TILE_TOP, TILE_BOTTOM))


def render(size, samples=4):
    rows = []
    for y in range(size):
        row = bytearray([0])  # filter type none
        for x in range(size):
            r = g = b = a = 0
            for sy in range(samples):
                v = (y + (sy + 0.5) / samples) / size
                for sx in range(samples):
                    u = (x + (sx + 0.5) / samples) / size
                    c = colour_at(u, v)
                    if c is not None:
                        r += c[0]
                        g += c[1]
                        b += c[2]
                        a += 1
            if a:
                row += bytes((round(r / a), round(g / a), round(b / a), round(255 * a / samples ** 2)))
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return png(size, b"".join(rows))


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def png(size, raw):
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    for size in SIZES:
        data = render(size, 3 if size >= 256 else 6)
        folder = os.path.join(HERE, "icons", "hicolor", f"{size}x{size}", "apps")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "com.Brenvaldor.png"), "wb") as out:
            out.write(data)
        if size == 512:
            with open(os.path.join(HERE, "logo.png"), "wb") as out:
                out.write(data)


if __name__ == "__main__":
    main()
