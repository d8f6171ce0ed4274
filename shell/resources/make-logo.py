#!/usr/bin/env python3
"""Draws the launcher's logo: a 200 x 200, 256-colour (8-bit indexed) BMP.

The bottom-left pixel is white; the launcher draws every white pixel transparent,
so the background must stay pure white. Run from anywhere:
    python3 shell/resources/make-logo.py   (writes shell/resources/logo.bmp)
"""
import math
import os
import struct

W = H = 200

# Palette: 0 white (transparent), 1 black, 2..127 a blue ramp, 128..191 an amber
# ramp, 192..255 greys.
palette = [(255, 255, 255), (0, 0, 0)]
for i in range(126):
    t = i / 125
    palette.append((int(10 + 40 * t), int(40 + 90 * t), int(90 + 150 * t)))
for i in range(64):
    t = i / 63
    palette.append((int(200 + 55 * t), int(120 + 100 * t), int(10 + 40 * t)))
for i in range(64):
    g = int(60 + 180 * i / 63)
    palette.append((g, g, g))
assert len(palette) == 256

BLUE0, AMBER0, GREY0 = 2, 128, 192
pix = [[0] * W for _ in range(H)]  # pix[y][x], y = 0 at the top


def inside_shield(x, y):
    # A shield: straight top, sides curving into a point at the bottom.
    cx = 100
    if y < 14 or y > 190:
        return False
    if y < 110:
        half = 78
    else:
        t = (y - 110) / 80
        half = 78 * math.sqrt(max(0.0, 1 - t * t))
    return abs(x - cx) <= half


def inside_border(x, y, width):
    if not inside_shield(x, y):
        return False
    for dx, dy in ((width, 0), (-width, 0), (0, width), (0, -width)):
        if not inside_shield(x + dx, y + dy):
            return True
    return False


for y in range(H):
    for x in range(W):
        if inside_border(x, y, 5):
            pix[y][x] = 1 if inside_border(x, y, 1) else GREY0 + 20
        elif inside_shield(x, y):
            # Blue, lighter towards the top left.
            t = min(1.0, max(0.0, 1 - (x * 0.4 + y * 0.8) / 200))
            pix[y][x] = BLUE0 + int(40 + 80 * t)


def rect(x0, y0, x1, y1, colour):
    for y in range(y0, y1):
        for x in range(x0, x1):
            if inside_shield(x, y) and not inside_border(x, y, 6):
                pix[y][x] = colour


# A bold amber "H" with a small shadow.
for dx, dy, c in ((4, 4, 1), (0, 0, None)):
    shade = (lambda y: c) if c is not None else (lambda y: AMBER0 + int(63 * (1 - (y - 36) / 96)))
    for (x0, x1) in ((52 + dx, 76 + dx), (124 + dx, 148 + dx)):
        for y in range(36 + dy, 132 + dy):
            rect(x0, y, x1, y + 1, shade(y))
    for y in range(74 + dy, 94 + dy):
        rect(76 + dx, y, 124 + dx, y + 1, shade(y))

# Three white-grey "ID" bars under the letter, like labels on a list.
for i, y0 in enumerate((142, 154, 166)):
    width = (86, 70, 50)[i]
    rect(100 - width // 2, y0, 100 + width // 2, y0 + 6, GREY0 + 63)

# BMP: rows bottom up, each padded to 4 bytes (200 is already a multiple).
rows = b"".join(bytes(pix[y]) for y in range(H - 1, -1, -1))
pal = b"".join(bytes((b, g, r, 0)) for (r, g, b) in palette)
offset = 14 + 40 + len(pal)
header = struct.pack("<2sIHHI", b"BM", offset + len(rows), 0, 0, offset)
info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 8, 0, len(rows), 2835, 2835, 256, 0)
assert pix[H - 1][0] == 0, "the bottom-left pixel must be white"
out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "logo.bmp")
with open(out, "wb") as f:
    f.write(header + info + pal + rows)
print(out)
