#!/usr/bin/env python3
"""Writes the application icon, a 16 x 16 pixel-art night camp, as
quillmoor-mothwake.svg (scalable) and quillmoor-mothwake.png (48 x 48, each
pixel 3 x 3) next to this script, and as windows/quillmoor-mothwake.ico (16,
32, 48 and 256 pixels) for the Windows installer. Run it after changing the
grid."""
import os
import struct
import zlib

GRID = [
    "................",
    "..........mmm...",
    "..s......mm.....",
    ".........mm.....",
    "..........mmm...",
    "......t.........",
    ".....ttt.....s..",
    "....tTttt.......",
    ".....tTt........",
    "....ttTtt.......",
    "...tttTttt......",
    "....tttTt....y..",
    "..tttttTttt.yoy.",
    "......b....yoroy",
    "gggggggggGGooooG",
    "gggggggggggGGGGG",
]
COLORS = {".": None, "m": "e6e2c0", "s": "fff6d8", "t": "1c4e26", "T": "2e6024", "b": "3a2412",
          "y": "ffd84a", "o": "f9a61e", "r": "c8300c", "g": "0a0806", "G": "3a1c08"}
# The sky darkens toward the top, two rows a shade, as in the forest scene.
SKY = ["101838", "121c40", "141f46", "16234c", "182652", "1a2a58", "1c2d5c", "1e3060"]


def color(x, y):
    c = COLORS[GRID[y][x]]
    return c if c else SKY[y // 2]


def svg():
    rects = []
    for y in range(16):
        x = 0
        while x < 16:
            c = color(x, y)
            end = x
            while end < 16 and color(end, y) == c:
                end += 1
            rects.append(f'<rect x="{x}" y="{y}" width="{end - x}" height="1" fill="#{c}"/>')
            x = end
    return ('<svg xmlns="http://www.w3.org/2000/svg" width="48" height="48" viewBox="0 0 16 16" '
            'shape-rendering="crispEdges">\n' + "\n".join(rects) + "\n</svg>\n")


def png(scale):
    size = 16 * scale
    rows = b""
    for y in range(size):
        rows += b"\0" + b"".join(bytes.fromhex(color(x // scale, y // scale)) for x in range(size))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xffffffff)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def dib(scale):
    """An icon image as Windows keeps it: a bottom-up 32-bit bitmap of twice
    the height (the colour rows, then a 1-bit mask, all opaque here)."""
    size = 16 * scale
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes.fromhex(color(x // scale, y // scale))[::-1] + b"\xff"
                      for y in reversed(range(size)) for x in range(size))
    mask = bytes((size + 31) // 32 * 4 * size)
    return header + pixels + mask


def ico():
    """16, 32 and 48 pixels as bitmaps, 256 as PNG (which Windows reads at that size)."""
    images = [(16, dib(1)), (32, dib(2)), (48, dib(3)), (256, png(16))]
    offset = 6 + 16 * len(images)
    directory, data = b"", b""
    for size, image in images:
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset + len(data))
        data += image
    return struct.pack("<HHH", 0, 1, len(images)) + directory + data


here = os.path.dirname(os.path.abspath(__file__))
with open(os.path.join(here, "quillmoor-mothwake.svg"), "w") as f:
    f.write(svg())
with open(os.path.join(here, "quillmoor-mothwake.png"), "wb") as f:
    f.write(png(3))
with open(os.path.join(here, "windows", "quillmoor-mothwake.ico"), "wb") as f:
    f.write(ico())
