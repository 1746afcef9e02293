#!/usr/bin/env python3
"""Draws the program's icon: three cascading client windows on a blue tile,
the copies a clone run makes. Writes a 32 x 32, 256-colour .ico.

    tools/make_icon.py clonetool/editions/resources/Vornix.ico
"""
import struct
import sys

SIZE = 32
PALETTE = [
    (0, 0, 0),        # 0 transparent corner (masked)
    (24, 56, 120),    # 1 tile blue
    (40, 90, 170),    # 2 tile highlight
    (250, 250, 250),  # 3 window body
    (20, 20, 40),     # 4 outline
    (255, 200, 40),   # 5 title bar, yellow
    (240, 130, 30),   # 6 title bar, orange
    (230, 60, 50),    # 7 title bar, red
]


def picture():
    pixels = [[0] * SIZE for _ in range(SIZE)]
    for y in range(SIZE):
        for x in range(SIZE):
            corner = min(x, SIZE - 1 - x) + min(y, SIZE - 1 - y)
            if corner >= 3:
                pixels[y][x] = 2 if y < 12 else 1
    # back to front: each copy lower and further right than the last
    for n, bar in enumerate((7, 6, 5)):
        left, top = 4 + 5 * n, 4 + 5 * n
        for y in range(top, top + 14):
            for x in range(left, left + 16):
                edge = y in (top, top + 13) or x in (left, left + 15)
                pixels[y][x] = 4 if edge else (bar if y < top + 4 else 3)
    return pixels


def ico(pixels):
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    palette += b"\0" * (256 * 4 - len(palette))
    xor = b"".join(bytes(row) for row in reversed(pixels))
    mask = b""
    for row in reversed(pixels):
        bits = 0
        for x, index in enumerate(row):
            if index == 0:
                bits |= 1 << (31 - x)
        mask += struct.pack(">I", bits)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 8, 0, len(xor) + len(mask), 0, 0, 256, 0)
    image = header + palette + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 8, len(image), 22)
    return directory + image


if __name__ == "__main__":
    with open(sys.argv[1], "wb") as out:
        out.write(ico(picture()))
