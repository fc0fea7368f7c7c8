#!/usr/bin/env python3
"""Draws the application's icon (src/ui/images/LoginIcon.png): a blue rounded
square with a white ring crossed by a bar, the sign for 'switched off'.
Pure Python so that it needs nothing beyond the standard library."""
import math
import struct
import sys
import zlib

SIZE = 256
RADIUS = SIZE * 12 / 60  # the corner radius the screens clip the icon to
SAMPLES = 4


def inside_rounded_square(x, y):
    cx = min(max(x, RADIUS), SIZE - RADIUS)
    cy = min(max(y, RADIUS), SIZE - RADIUS)
    return (x - cx) ** 2 + (y - cy) ** 2 <= RADIUS ** 2


def inside_sign(x, y):
    dx, dy = x - SIZE / 2, y - SIZE / 2
    r = math.hypot(dx, dy)
    ring = 62 <= r <= 86
    # The bar runs from top left to bottom right inside the ring.
    along = (dx + dy) / math.sqrt(2)
    across = (dx - dy) / math.sqrt(2)
    bar = abs(across) <= 12 and abs(along) <= 74
    return ring or bar


def pixel(px, py):
    cover = sign = 0
    for sx in range(SAMPLES):
        for sy in range(SAMPLES):
            x = px + (sx + 0.5) / SAMPLES
            y = py + (sy + 0.5) / SAMPLES
            if inside_rounded_square(x, y):
                cover += 1
                if inside_sign(x, y):
                    sign += 1
    n = SAMPLES * SAMPLES
    if cover == 0:
        return (0, 0, 0, 0)
    t = py / SIZE
    blue = (int(40 + 20 * t), int(140 - 60 * t), int(255 - 40 * t))
    s = sign / cover
    rgb = tuple(int(c * (1 - s) + 255 * s) for c in blue)
    return rgb + (int(255 * cover / n),)


def main(path):
    rows = []
    for y in range(SIZE):
        row = bytearray([0])
        for x in range(SIZE):
            row.extend(pixel(x, y))
        rows.append(bytes(row))
    raw = zlib.compress(b"".join(rows), 9)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", raw) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "src/ui/images/LoginIcon.png")
