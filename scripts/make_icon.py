#!/usr/bin/env python3
"""Draws Talewick's icon, a quill over an open book.

    python3 scripts/make_icon.py [FOLDER]     the 32x32, 16-colour pixel picture:
        FOLDER/talewick.ico (one 4-bit BMP-in-ICO image with AND mask, for
        talewick.exe) and FOLDER/talewick.png (the GTK window icon); FOLDER is
        assets/ unless given
    python3 scripts/make_icon.py --hicolor FOLDER   the same picture drawn from
        shapes at 16, 32, 48, 64, 128 and 256 pixels, smoothed, as
        FOLDER/NxN/apps/talewick.png for the desktop's icon theme

Python 3 standard library only, so the icons can be rebuilt anywhere.
"""

import math
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


# --- the picture as shapes, on the 32-unit grid of the pixel picture ---------

INK = (0, 0, 0)
HICOLOR_SIZES = (16, 32, 48, 64, 128, 256)
SAMPLES = 4  # per pixel and axis


def segment(a, b, width):
    """A straight stroke from a to b as a four-sided polygon."""
    (ax, ay), (bx, by) = a, b
    length = max(((bx - ax) ** 2 + (by - ay) ** 2) ** 0.5, 1e-9)
    nx, ny = -(by - ay) / length * width / 2, (bx - ax) / length * width / 2
    return [(ax + nx, ay + ny), (bx + nx, by + ny), (bx - nx, by - ny), (ax - nx, ay - ny)]


def outlined(points, fill, width=0.7):
    """A filled polygon and the strokes of its edges, in drawing order."""
    shapes = [(points, fill)]
    for i, point in enumerate(points):
        shapes.append((segment(point, points[(i + 1) % len(points)], width), INK))
    return shapes


def quill_vane(side, scale):
    """One half of the feather: from the tip down the shaft, `side` +1 or -1."""
    tip, end = (28.0, 1.0), (16.0, 13.0)
    points = []
    steps = 12
    for i in range(steps + 1):
        t = i / steps
        x, y = tip[0] + (end[0] - tip[0]) * t, tip[1] + (end[1] - tip[1]) * t
        width = scale * math.sin(math.pi * t) ** 0.7
        points.append((x + side * width * 0.707, y + side * width * 0.707))
    return points


def shapes():
    book_pages = [
        [(2, 13.0), (9, 14.2), (15.5, 16.2), (15.5, 28.5), (9, 27.3), (2, 27.5)],
        [(30, 13.0), (23, 14.2), (16.5, 16.2), (16.5, 28.5), (23, 27.3), (30, 27.5)],
    ]
    out = []
    out += outlined([(1, 27.0), (31, 27.0), (31, 30.6), (1, 30.6)], PALETTE[2])
    out.append(([(1.4, 27.4), (30.6, 27.4), (30.6, 28.8), (1.4, 28.8)], PALETTE[3]))
    for page in book_pages:
        out += outlined(page, PALETTE[4])
    out.append((segment((16, 16.2), (16, 28.6), 1.2), PALETTE[7]))
    for y in (19.0, 21.0, 23.0, 25.0):
        out.append((segment((4, y - 0.8), (13, y), 0.7), PALETTE[6]))
        out.append((segment((19, y), (28, y - 0.8), 0.7), PALETTE[6]))
    out.append(([(17.2, 28.4), (18.6, 28.4), (18.6, 31.8), (17.9, 31.1), (17.2, 31.8)],
                PALETTE[13]))
    out += outlined(quill_vane(+1, 3.6) + quill_vane(-1, 3.0)[::-1][1:-1], PALETTE[9], 0.6)
    out.append((quill_vane(-1, 1.8), PALETTE[10]))
    out.append((segment((28.5, 0.5), (10.8, 18.2), 0.8), PALETTE[8]))
    out.append(([(11.4, 17.6), (8.6, 21.4), (12.4, 18.6)], PALETTE[11]))
    out.append((segment((10.2, 19.6), (8.8, 21.2), 0.5), PALETTE[12]))
    out.append((segment((7.6, 22.4), (8.4, 22.4), 0.9), INK))
    return out


def draw_shapes(size):
    """RGBA rows of the picture at `size` pixels: every shape filled by scan
    lines over a grid of SAMPLES x SAMPLES points per pixel, then averaged."""
    scale = size / 32.0
    grid = size * SAMPLES
    polygons = [([(x * scale * SAMPLES, y * scale * SAMPLES) for x, y in points], colour)
                for points, colour in shapes()]
    sums = [[0] * (size * 4) for _ in range(size)]
    for row in range(grid):
        y = row + 0.5
        cells = [None] * grid
        for points, colour in polygons:
            crossings = []
            for (x0, y0), (x1, y1) in zip(points, points[1:] + points[:1]):
                if (y0 <= y) != (y1 <= y):
                    crossings.append(x0 + (y - y0) * (x1 - x0) / (y1 - y0))
            crossings.sort()
            for left, right in zip(crossings[::2], crossings[1::2]):
                first = max(int(left + 0.5), 0)
                last = min(int(right + 0.5), grid)
                if last > first:
                    cells[first:last] = [colour] * (last - first)
        total = sums[row // SAMPLES]
        for column, colour in enumerate(cells):
            if colour is not None:
                at = column // SAMPLES * 4
                total[at] += colour[0]
                total[at + 1] += colour[1]
                total[at + 2] += colour[2]
                total[at + 3] += 1
    rows = []
    for total in sums:
        row = bytearray()
        for at in range(0, len(total), 4):
            covered = total[at + 3]
            if covered == 0:
                row += bytes(4)
            else:
                row += bytes((total[at] // covered, total[at + 1] // covered,
                              total[at + 2] // covered, 255 * covered // SAMPLES ** 2))
        rows.append(bytes(row))
    return rows


def rgba_png(rows):
    """A PNG of RGBA rows (no filtering)."""
    size_y, size_x = len(rows), len(rows[0]) // 4
    raw = b"".join(b"\x00" + row for row in rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    ihdr = struct.pack(">IIBBBBB", size_x, size_y, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def write_hicolor(folder):
    for size in HICOLOR_SIZES:
        apps = os.path.join(folder, "%dx%d" % (size, size), "apps")
        os.makedirs(apps, exist_ok=True)
        with open(os.path.join(apps, "talewick.png"), "wb") as f:
            f.write(rgba_png(draw_shapes(size)))


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--hicolor":
        write_hicolor(sys.argv[2])
        return
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
