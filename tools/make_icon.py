#!/usr/bin/env python3
"""Draws the program's icon: three cascading client windows on a blue tile,
the copies a clone run makes. Writes an .ico with the sizes Windows shows
(16, 24, 32 and 48 pixels as 32-bit images with alpha, 256 as PNG), each
drawn from the same design, laid out on a 32-unit grid.

    tools/make_icon.py clonetool/editions/resources/Vornix.ico
"""
import struct
import sys
import zlib

SIZES = (16, 24, 32, 48, 256)
TILE, HIGHLIGHT = (24, 56, 120), (40, 90, 170)
BODY, OUTLINE = (250, 250, 250), (20, 20, 40)
BARS = ((230, 60, 50), (240, 130, 30), (255, 200, 40))  # back to front


def picture(size):
    """Rows of (r, g, b, a) pixels."""
    unit = size / 32
    line = max(1, round(unit))
    pixels = [[(0, 0, 0, 0)] * size for _ in range(size)]
    for y in range(size):
        for x in range(size):
            corner = min(x, size - 1 - x) + min(y, size - 1 - y)
            if corner >= 3 * unit:
                pixels[y][x] = (HIGHLIGHT if y < 12 * unit else TILE) + (255,)
    # each copy lower and further right than the last
    for n, bar in enumerate(BARS):
        left, top = round((4 + 5 * n) * unit), round((4 + 5 * n) * unit)
        right, bottom = round((20 + 5 * n) * unit), round((18 + 5 * n) * unit)
        for y in range(top, bottom):
            for x in range(left, right):
                edge = y < top + line or y >= bottom - line or x < left + line or x >= right - line
                colour = OUTLINE if edge else bar if y < top + round(4 * unit) else BODY
                pixels[y][x] = colour + (255,)
    return pixels


def bitmap(pixels):
    size = len(pixels)
    xor = b"".join(struct.pack("<BBBB", b, g, r, a) for row in reversed(pixels) for r, g, b, a in row)
    stride = (size + 31) // 32 * 4
    mask = b""
    for row in reversed(pixels):
        bits = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + xor + mask


def png(pixels):
    size = len(pixels)
    raw = b"".join(b"\0" + bytes(v for pixel in row for v in pixel) for row in pixels)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def ico():
    images = [png(picture(size)) if size == 256 else bitmap(picture(size)) for size in SIZES]
    offset = 6 + 16 * len(images)
    directory = struct.pack("<HHH", 0, 1, len(images))
    for size, image in zip(SIZES, images):
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return directory + b"".join(images)


if __name__ == "__main__":
    with open(sys.argv[1], "wb") as out:
        out.write(ico())
