"""Reads the PNG files the tests compare: 8-bit RGB or RGBA, not interlaced."""
import struct
import zlib


def _paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    return a if pa <= pb and pa <= pc else (b if pb <= pc else c)


def read_png(path):
    """(width, height, rgb bytes), the form screenshots take."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", f"{path} is not a PNG"
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    assert depth == 8 and colour in (2, 6) and interlace == 0, f"{path}: unsupported PNG layout"
    channels = 3 if colour == 2 else 4
    stride = width * channels
    raw = zlib.decompress(idat)
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        row = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = row[i - channels] if i >= channels else 0
            up = previous[i]
            corner = previous[i - channels] if i >= channels else 0
            row[i] = (row[i] + (0, left, up, (left + up) // 2, _paeth(left, up, corner))[kind]) & 0xFF
        rows.append(row)
        previous = row
    pixels = b"".join(rows)
    if channels == 4:
        pixels = b"".join(pixels[i:i + 3] for i in range(0, len(pixels), 4))
    return width, height, pixels


def differing_pixels(a, b):
    """How many pixels two images differ in; None when their sizes differ."""
    if a[:2] != b[:2]:
        return None
    pa, pb = a[2], b[2]
    return sum(1 for i in range(0, len(pa), 3) if pa[i:i + 3] != pb[i:i + 3]) if pa != pb else 0
