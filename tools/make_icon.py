#!/usr/bin/env python3
"""Writes res/fernwood2.ico: the icon group MAINICON, two 32 x 32 images, one of
16 colours (4 bits per pixel) and one of 256 colours (8 bits per pixel).

The picture is a fern frond: a curved stem with leaflets, on a transparent
background. Run it again after changing the drawing; the output is deterministic.
"""
import math
import struct
import sys

SIZE = 32


def frond():
    """Returns a SIZE x SIZE grid of colour indices: 0 transparent, 1 dark green,
    2 green, 3 light green."""
    grid = [[0] * SIZE for _ in range(SIZE)]

    def dot(x, y, c):
        xi, yi = int(round(x)), int(round(y))
        if 0 <= xi < SIZE and 0 <= yi < SIZE:
            grid[yi][xi] = c

    steps = 60
    for i in range(steps + 1):
        t = i / steps
        # Stem from the bottom left, curling toward the top right.
        sx = 6 + 20 * t + 3 * math.sin(t * math.pi)
        sy = 29 - 26 * t
        dot(sx, sy, 1)
        dot(sx + 0.5, sy, 1)
        if i % 6 == 3:
            length = 9 * (1 - t) + 2
            for side in (-1, 1):
                for j in range(int(length * 4)):
                    u = j / 4.0
                    lx = sx + side * u * 0.9
                    ly = sy - u * 0.45
                    width = max(0.6, 1.6 * (1 - u / length))
                    for w in range(-2, 3):
                        if abs(w) <= width:
                            dot(lx, ly + w * 0.5, 2 if abs(w) < width - 0.5 else 3)
    return grid


def bmp_image(grid, bits, palette):
    colours = 1 << bits
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, bits, 0, 0, 0, 0, colours, 0)
    pal = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in palette)
    pal += b'\0' * (4 * colours - len(pal))
    row_bytes = (SIZE * bits + 31) // 32 * 4
    xor = b''
    for y in range(SIZE - 1, -1, -1):
        row = bytearray(row_bytes)
        for x in range(SIZE):
            idx = grid[y][x]
            if bits == 8:
                row[x] = idx
            else:
                row[x // 2] |= idx << (4 if x % 2 == 0 else 0)
        xor += bytes(row)
    and_row_bytes = (SIZE + 31) // 32 * 4
    mask = b''
    for y in range(SIZE - 1, -1, -1):
        row = bytearray(and_row_bytes)
        for x in range(SIZE):
            if grid[y][x] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(row)
    return header + pal + xor + mask


def main(path):
    grid = frond()
    palette = [(0, 0, 0), (24, 80, 32), (48, 150, 56), (140, 210, 110)]
    images = [(4, bmp_image(grid, 4, palette)), (8, bmp_image(grid, 8, palette))]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for bits, data in images:
        colours = 16 if bits == 4 else 0
        out += struct.pack('<BBBBHHII', SIZE, SIZE, colours, 0, 1, bits, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'res/fernwood2.ico')
