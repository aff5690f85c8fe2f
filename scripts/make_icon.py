#!/usr/bin/env python3
"""Draws Talewick's 32x32, 16-colour icon (a quill over an open book) and
writes assets/talewick.ico (one 4-bit BMP-in-ICO image with AND mask) and
assets/talewick.png (the same picture for the GTK front end).

Python 3 standard library only, so the icon can be rebuilt anywhere.
Run: python3 scripts/make_icon.py [output folder]
"""

import os
import struct
import sys
import zlib

SIZE = 32

# The 16-colour palette (index -> RGB). Index 0 stands for "transparent":
# it is drawn black in the colour bits and masked out by the AND mask.
PALETTE = [
    (0, 0, 0),        # 0 transparent
    (0, 0, 0),        # 1 black outline
    (128, 0, 0),      # 2 dark red (book cover)
    (192, 32, 32),    # 3 red (book cover light)
    (255, 255, 255),  # 4 white (pages)
    (224, 216, 192),  # 5 page shade
    (128, 128, 128),  # 6 grey (text lines)
    (64, 64, 64),     # 7 dark grey
    (0, 0, 128),      # 8 navy (ink, quill shaft)
    (32, 96, 208),    # 9 blue (quill vane)
    (128, 176, 240),  # 10 light blue (vane highlight)
    (255, 224, 0),    # 11 gold (nib)
    (160, 112, 0),    # 12 dark gold
    (0, 128, 0),      # 13 green (bookmark)
    (192, 192, 192),  # 14 silver
    (255, 255, 255),  # 15 spare white
]

TRANSPARENT = 0


def blank():
    return [[TRANSPARENT] * SIZE for _ in range(SIZE)]


def put(img, x, y, c):
    if 0 <= x < SIZE and 0 <= y < SIZE:
        img[y][x] = c


def draw_book(img):
    """An open book seen from the front, lying in the lower two thirds."""
    top, bottom = 14, 28
    # Cover below the pages, a little wider.
    for x in range(1, 31):
        for y in (bottom, bottom + 1):
            put(img, x, y, 2 if y == bottom + 1 else 3)
    for x in range(1, 31):
        put(img, x, bottom + 2, 1)
    # Two pages, each bending up toward its outer edge.
    for x in range(2, 30):
        left = x < 16
        dist = (15 - x) if left else (x - 16)
        lift = dist // 5  # outer edges rise a little
        page_top = top + 2 - lift + (1 if dist < 2 else 0)
        put(img, x, page_top - 1, 1)
        for y in range(page_top, bottom):
            shade = 5 if dist < 2 else 4
            put(img, x, y, shade)
        put(img, x, bottom, 1)
    # Outer edges and the spine.
    for y in range(top - 2, bottom + 1):
        if img[y][2] != TRANSPARENT:
            put(img, 1, y, 1)
        if img[y][29] != TRANSPARENT:
            put(img, 30, y, 1)
    for y in range(top + 2, bottom + 1):
        put(img, 15, y, 7)
        put(img, 16, y, 7)
    # Text lines on both pages.
    for y in range(top + 4, bottom - 1, 2):
        for x in range(4, 13):
            put(img, x, y, 6)
        for x in range(19, 28):
            put(img, x, y, 6)
    # A green bookmark hanging out below the spine.
    for y in range(bottom, bottom + 3):
        put(img, 17, y, 13)


def draw_quill(img):
    """A feather quill slanting from the top right down to the left page."""
    # Shaft: a diagonal line from (27, 1) to (10, 19).
    shaft = []
    x, y = 27, 1
    while y <= 19:
        shaft.append((x, y))
        x -= 1
        y += 1
    # Vane on both sides of the upper shaft.
    for i, (sx, sy) in enumerate(shaft[:13]):
        width = 1 + min(i, 12 - i) // 2 + 1
        for w in range(1, width + 1):
            put(img, sx - w, sy - w + 1, 9 if w > 1 else 10)
            put(img, sx + w, sy + w - 1, 9)
        # Outline the vane tips.
        put(img, sx - width - 1, sy - width + 1, 8)
        put(img, sx + width + 1, sy + width - 1, 8)
    # The diagonal strokes leave a chequer of holes; close them.
    vane = (8, 9, 10)
    for y in range(SIZE):
        for x in range(1, SIZE - 1):
            if img[y][x] == TRANSPARENT and img[y][x - 1] in vane and img[y][x + 1] in vane:
                img[y][x] = 9
    for sx, sy in shaft:
        put(img, sx, sy, 8)
    # Gold nib at the lower end, and an ink dot under it.
    nx, ny = shaft[-1]
    put(img, nx - 1, ny + 1, 11)
    put(img, nx - 2, ny + 2, 12)
    put(img, nx - 3, ny + 3, 1)


def picture():
    img = blank()
    draw_book(img)
    draw_quill(img)
    return img


def ico_bytes(img):
    """One 32x32 4-bit icon: ICONDIR, one ICONDIRENTRY, BITMAPINFOHEADER
    (height doubled for the XOR and AND bitmaps), palette, XOR bits
    bottom-up, AND mask bottom-up (rows padded to 32 bits)."""
    xor_rows = []
    for y in range(SIZE - 1, -1, -1):
        row = bytearray()
        for x in range(0, SIZE, 2):
            row.append((img[y][x] << 4) | img[y][x + 1])
        xor_rows.append(bytes(row))  # 16 bytes, already a multiple of 4
    and_rows = []
    for y in range(SIZE - 1, -1, -1):
        bits = 0
        for x in range(SIZE):
            bits = (bits << 1) | (1 if img[y][x] == TRANSPARENT else 0)
        and_rows.append(bits.to_bytes(4, "big"))
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    xor = b"".join(xor_rows)
    mask = b"".join(and_rows)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0,
                         len(xor) + len(mask), 0, 0, 16, 0)
    image = header + palette + xor + mask
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return icondir + entry + image


def png_bytes(img):
    """RGBA PNG of the same picture, transparent where the icon is."""
    raw = bytearray()
    for y in range(SIZE):
        raw.append(0)  # filter type: none
        for x in range(SIZE):
            c = img[y][x]
            r, g, b = PALETTE[c]
            raw += bytes((r, g, b, 0 if c == TRANSPARENT else 255))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    ihdr = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "assets")
    os.makedirs(out, exist_ok=True)
    img = picture()
    with open(os.path.join(out, "talewick.ico"), "wb") as f:
        f.write(ico_bytes(img))
    with open(os.path.join(out, "talewick.png"), "wb") as f:
        f.write(png_bytes(img))


if __name__ == "__main__":
    main()
