#!/usr/bin/env python3
"""Draws the tool's icon and writes it as gridmoor.ico: one 48 x 48 image, 8 bits per
pixel with a 256-colour palette and a 1-bit transparency mask, the form both the Linux
and the Windows window load; and as linux/gridmoor-48.png, the same image for the desktop's
icon theme (48 x 48 is the only size it is drawn at). Run from this folder; standard
library only."""

import struct
import zlib

SIZE = 48
TRANSPARENT = None
PALETTE = [
    (0x40, 0x40, 0x60),  # 0 frame
    (0xFF, 0xFF, 0xFF),  # 1 cell
    (0xC8, 0xC8, 0xD8),  # 2 grid line
    (0xC0, 0xC0, 0xFF),  # 3 header (the window's colour)
    (0x4A, 0x5C, 0xD6),  # 4 merged cell
    (0xFF, 0xC0, 0xFF),  # 5 second merged cell (the status lines' colour)
    (0xFF, 0xFF, 0xFF),  # 6 mark on a merged cell
]


def draw():
    px = [[TRANSPARENT] * SIZE for _ in range(SIZE)]

    def fill(x0, y0, x1, y1, colour):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                px[y][x] = colour

    # Sheet body with a header row and a 3 x 4 grid of cells.
    fill(3, 3, 44, 44, 0)
    fill(4, 4, 43, 43, 1)
    fill(4, 4, 43, 11, 3)
    for x in (17, 30):
        fill(x, 4, x, 43, 2)
    for y in (12, 20, 28, 36):
        fill(4, y, 43, y, 2)
    # A run of three equal cells merged into one in the first column ...
    fill(4, 13, 16, 35, 4)
    # ... and a run of two in the second column.
    fill(18, 21, 29, 35, 5)
    # Equal marks on the merged blue cell.
    fill(7, 21, 13, 22, 6)
    fill(7, 26, 13, 27, 6)
    return px


def write_ico(px, path):
    palette = PALETTE + [(0, 0, 0)] * (256 - len(PALETTE))
    xor = bytearray()
    mask = bytearray()
    for row in reversed(px):  # bottom-up
        xor.extend(0 if c is TRANSPARENT else c for c in row)
        bits = 0
        line = bytearray()
        for x, c in enumerate(row):
            bits = (bits << 1) | (1 if c is TRANSPARENT else 0)
            if x % 8 == 7:
                line.append(bits)
                bits = 0
        line.extend(b"\0" * (-len(line) % 4))  # mask rows are padded to 32 bits
        mask.extend(line)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 8, 0, len(xor) + len(mask), 0, 0,
                         256, 0)
    image = header + colours + bytes(xor) + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 8, len(image), 6 + 16)
    with open(path, "wb") as f:
        f.write(directory + entry + image)


def write_png(px, path):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    raw = bytearray()
    for row in px:
        raw.append(0)  # filter type None
        for c in row:
            raw.extend((0, 0, 0, 0) if c is TRANSPARENT else (*PALETTE[c], 0xFF))
    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)  # 8-bit RGBA
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


if __name__ == "__main__":
    image = draw()
    write_ico(image, "gridmoor.ico")
    write_png(image, "linux/gridmoor-48.png")
