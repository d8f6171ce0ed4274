#!/usr/bin/env python3
"""Makes the Windows icon of the program from the launcher's logo.

    make-icon.py LOGO.bmp ICON.ico

The logo is the 200 x 200, 8-bit indexed BMP the launcher shows; as there, every
white pixel is transparent. The icon holds 32-bit images in the sizes Windows asks
for (16 to 48 pixels, area-averaged) and the logo at full size.
"""
import struct
import sys

SIZES = (16, 24, 32, 48, 200)


def read_logo(path):
    """The logo as rows of (r, g, b, a), top row first."""
    data = open(path, "rb").read()
    if data[:2] != b"BM":
        sys.exit("make-icon: %s is not a BMP file" % path)
    offset = struct.unpack_from("<I", data, 10)[0]
    header_size, width, height, _, bits = struct.unpack_from("<IiiHH", data, 14)
    if bits != 8 or height <= 0:
        sys.exit("make-icon: %s is not a bottom-up 8-bit BMP" % path)
    palette_at = 14 + header_size
    palette = [tuple(data[palette_at + 4 * i:palette_at + 4 * i + 3]) for i in range(256)]
    stride = (width + 3) & ~3
    rows = []
    for y in range(height):
        row_at = offset + (height - 1 - y) * stride
        row = []
        for x in range(width):
            b, g, r = palette[data[row_at + x]]
            row.append((r, g, b, 0 if (r, g, b) == (255, 255, 255) else 255))
        rows.append(row)
    return rows


def scaled(rows, size):
    """Area-averaged to size x size, colours weighted by their opacity."""
    source = len(rows)
    if size == source:
        return rows
    out = []
    for y in range(size):
        y0, y1 = y * source // size, max((y + 1) * source // size, y * source // size + 1)
        line = []
        for x in range(size):
            x0, x1 = x * source // size, max((x + 1) * source // size, x * source // size + 1)
            r = g = b = a = n = 0
            for sy in range(y0, y1):
                for sr, sg, sb, sa in rows[sy][x0:x1]:
                    r, g, b, a, n = r + sr * sa, g + sg * sa, b + sb * sa, a + sa, n + 1
            line.append((r // a, g // a, b // a, a // n) if a else (0, 0, 0, 0))
        out.append(line)
    return out


def icon_image(rows):
    """One icon image: a BITMAPINFOHEADER of twice the height, BGRA bottom-up, and
    the (unused, all clear) AND mask."""
    size = len(rows)
    mask_stride = ((size + 31) // 32) * 4
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0,
                         size * size * 4 + mask_stride * size, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for r, g, b, a in row)
    return header + pixels + bytes(mask_stride * size)


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: make-icon.py LOGO.bmp ICON.ico")
    logo = read_logo(sys.argv[1])
    images = [icon_image(scaled(logo, size)) for size in SIZES]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries = b""
    for size, image in zip(SIZES, images):
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    with open(sys.argv[2], "wb") as out:
        out.write(directory + entries + b"".join(images))


if __name__ == "__main__":
    main()
