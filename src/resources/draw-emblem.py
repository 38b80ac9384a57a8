#!/usr/bin/env python3
"""Draws the loader's emblem, an open cardboard box with an arrow going into it, and writes it
as Setup.bmp (the BITMAP1 resource) and MainIcon.ico (the MAINICON resource): 32 x 32 pixels,
16 colours of the standard VGA palette. Both files are committed; run this script again only
after changing the picture.

Usage: draw-emblem.py [output directory]   (default: the directory of this script)
"""
import os
import struct
import sys

SIZE = 32

# The 16 colours every 16-colour Windows display has, in their usual order.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, OLIVE, GREY, YELLOW, NAVY, BLUE, WHITE = 0, 3, 8, 11, 4, 12, 15
TRANSPARENT = None

# Shapes in drawing order: (polygon corners in pixel units, fill colour, outline colour).
SHAPES = [
    # the box's front, with a label on it
    ([(5, 15), (27, 15), (27, 30), (5, 30)], OLIVE, BLACK),
    ([(11, 20), (21, 20), (21, 26), (11, 26)], WHITE, GREY),
    # the two lid flaps, opened outwards
    ([(5, 15), (16, 15), (12, 9), (1, 9)], YELLOW, BLACK),
    ([(16, 15), (27, 15), (31, 9), (20, 9)], YELLOW, BLACK),
    # the arrow pointing into the box
    ([(14, 0), (18, 0), (18, 9), (22, 9), (16, 16), (10, 9), (14, 9)], BLUE, NAVY),
]


def inside(polygon, x, y):
    """Even-odd test of the pixel centre (x + 0.5, y + 0.5)."""
    px, py = x + 0.5, y + 0.5
    result = False
    for (x1, y1), (x2, y2) in zip(polygon, polygon[1:] + polygon[:1]):
        if (y1 > py) != (y2 > py) and px < x1 + (py - y1) * (x2 - x1) / (y2 - y1):
            result = not result
    return result


def draw():
    """Rows from top to bottom; each pixel a palette index or TRANSPARENT."""
    pixels = [[TRANSPARENT] * SIZE for _ in range(SIZE)]
    for polygon, fill, outline in SHAPES:
        covered = {(x, y) for y in range(SIZE) for x in range(SIZE) if inside(polygon, x, y)}
        for x, y in covered:
            neighbours = ((x - 1, y), (x + 1, y), (x, y - 1), (x, y + 1))
            edge = any(n not in covered for n in neighbours)
            pixels[y][x] = outline if edge else fill
    return pixels


def palette_bytes():
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)


def colour_rows(pixels, background):
    """4 bits a pixel, rows bottom-up, each row 16 bytes (already a multiple of 4)."""
    data = bytearray()
    for row in reversed(pixels):
        indices = [background if p is TRANSPARENT else p for p in row]
        data += bytes(indices[i] << 4 | indices[i + 1] for i in range(0, SIZE, 2))
    return bytes(data)


def mask_rows(pixels):
    """1 bit a pixel, set where the icon is transparent; rows bottom-up, 4 bytes each."""
    data = bytearray()
    for row in reversed(pixels):
        bits = 0
        for p in row:
            bits = bits << 1 | (p is TRANSPARENT)
        data += bits.to_bytes(4, "big")
    return bytes(data)


def info_header(height, image_size):
    # BITMAPINFOHEADER: 40 bytes, one plane, 4 bits a pixel, no compression, 16 colours.
    return struct.pack("<IiiHHIIiiII", 40, SIZE, height, 1, 4, 0, image_size, 0, 0, 16, 0)


def bitmap_file(pixels):
    # The bitmap stands on the window's menu-coloured background, white or nearly so on
    # today's systems.
    colours = colour_rows(pixels, WHITE)
    offset = 14 + 40 + 64
    header = struct.pack("<2sIHHI", b"BM", offset + len(colours), 0, 0, offset)
    return header + info_header(SIZE, len(colours)) + palette_bytes() + colours


def icon_file(pixels):
    colours = colour_rows(pixels, BLACK)
    mask = mask_rows(pixels)
    # An icon's bitmap header counts the colour image and the mask together: twice the height.
    image = info_header(2 * SIZE, len(colours) + len(mask)) + palette_bytes() + colours + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    pixels = draw()
    with open(os.path.join(out, "Setup.bmp"), "wb") as f:
        f.write(bitmap_file(pixels))
    with open(os.path.join(out, "MainIcon.ico"), "wb") as f:
        f.write(icon_file(pixels))


if __name__ == "__main__":
    main()
