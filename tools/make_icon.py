#!/usr/bin/env python3
"""Writes res/fernwood2.ico: the icon group MAINICON, two 32 x 32 images, one of
16 colours (4 bits per pixel) and one of 256 colours (8 bits per pixel).

The picture is a fern frond: a curved stem with leaflets, on a transparent
background. Run it again after changing the drawing; the output is deterministic.

  make_icon.py [res/fernwood2.ico]
  make_icon.py --desktop res/linux/icons

--desktop draws the same frond as vectors on a rounded film-frame tile for the
desktop's icon theme: hicolor/scalable/apps/fernwood2.svg and PNGs of 48 to 256
pixels (drawn four times larger and scaled down, with PIL).
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


# ---- the desktop icon: the same frond as polygons on a 256-unit canvas ----------
DESKTOP_SIZES = (48, 64, 128, 256)
TILE, TILE_COLOUR, HOLE_COLOUR = (16, 16, 240, 240, 44), '#17332b', '#2c5a4c'
STEM_COLOUR, LEAF_COLOURS = '#b4e39a', ('#63bf5e', '#41a04c')


def stem_point(t):
    return 78 + 104 * t + 20 * math.sin(t * math.pi), 212 - 168 * t


def stem_polygon():
    """The stem as a band tapering from 9 units wide to 3."""
    left, right = [], []
    for i in range(41):
        t = i / 40
        (x, y), (x2, y2) = stem_point(t), stem_point(min(t + 0.01, 1.0) if t < 1 else t - 0.01)
        dx, dy = (x2 - x, y2 - y) if t < 1 else (x - x2, y - y2)
        norm = math.hypot(dx, dy)
        half = (9 - 6 * t) / 2
        left.append((x - dy / norm * half, y + dx / norm * half))
        right.append((x + dy / norm * half, y - dx / norm * half))
    return left + right[::-1]


def leaf_polygon(base, direction, length):
    """A leaflet from base along direction: widest a third of the way, pointed at the end."""
    dx, dy = direction
    norm = math.hypot(dx, dy)
    dx, dy = dx / norm, dy / norm
    width = length * 0.16
    side_a, side_b = [], []
    for i in range(17):
        u = i / 16
        w = width * math.sin(math.pi * u ** 0.8) ** 0.9
        x, y = base[0] + dx * u * length, base[1] + dy * u * length
        side_a.append((x - dy * w, y + dx * w))
        side_b.append((x + dy * w, y - dx * w))
    return side_a + side_b[::-1]


def stem_tangent(t):
    (x0, y0), (x1, y1) = stem_point(max(t - 0.01, 0)), stem_point(min(t + 0.01, 1))
    return x1 - x0, y1 - y0


def rotated(vector, degrees):
    c, s = math.cos(math.radians(degrees)), math.sin(math.radians(degrees))
    return vector[0] * c - vector[1] * s, vector[0] * s + vector[1] * c


def frond_shapes():
    """(colour, polygon) from back to front: pairs of leaflets at 62 degrees to the stem,
    longest near the base, then the tip and the stem."""
    shapes = []
    for k in range(9):
        t = 0.05 + k * 0.1
        length = 50 * (1 - t) ** 0.8 + 10
        for angle, colour in ((-62, LEAF_COLOURS[0]), (62, LEAF_COLOURS[1])):
            shapes.append((colour, leaf_polygon(stem_point(t), rotated(stem_tangent(t), angle), length)))
    shapes.append((LEAF_COLOURS[0], leaf_polygon(stem_point(0.96), stem_tangent(1.0), 16)))
    shapes.append((STEM_COLOUR, stem_polygon()))
    return shapes


def film_holes():
    return [(x, y, x + 12, y + 14) for x in (26, 218) for y in range(36, 216, 30)]


def icon_svg():
    left, top, right, bottom, radius = TILE
    parts = ['<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 256 256">',
             f'<rect x="{left}" y="{top}" width="{right - left}" height="{bottom - top}" rx="{radius}" '
             f'fill="{TILE_COLOUR}"/>']
    parts += [f'<rect x="{x0}" y="{y0}" width="{x1 - x0}" height="{y1 - y0}" rx="3" fill="{HOLE_COLOUR}"/>'
              for x0, y0, x1, y1 in film_holes()]
    for colour, points in frond_shapes():
        path = " ".join(f"{x:.1f},{y:.1f}" for x, y in points)
        parts.append(f'<polygon points="{path}" fill="{colour}"/>')
    return "\n".join(parts + ["</svg>"]) + "\n"


def icon_png(size, path):
    from PIL import Image, ImageDraw
    scale = 4 * size / 256
    big = Image.new("RGBA", (4 * size, 4 * size), (0, 0, 0, 0))
    draw = ImageDraw.Draw(big)
    left, top, right, bottom, radius = TILE
    draw.rounded_rectangle([left * scale, top * scale, right * scale, bottom * scale], radius * scale, TILE_COLOUR)
    for x0, y0, x1, y1 in film_holes():
        draw.rounded_rectangle([x0 * scale, y0 * scale, x1 * scale, y1 * scale], 3 * scale, HOLE_COLOUR)
    for colour, points in frond_shapes():
        draw.polygon([(x * scale, y * scale) for x, y in points], colour)
    big.resize((size, size), Image.LANCZOS).save(path, optimize=True)


def desktop_icons(folder):
    import os
    scalable = os.path.join(folder, "hicolor", "scalable", "apps")
    os.makedirs(scalable, exist_ok=True)
    with open(os.path.join(scalable, "fernwood2.svg"), "w") as out:
        out.write(icon_svg())
    for size in DESKTOP_SIZES:
        apps = os.path.join(folder, "hicolor", f"{size}x{size}", "apps")
        os.makedirs(apps, exist_ok=True)
        icon_png(size, os.path.join(apps, "fernwood2.png"))


if __name__ == '__main__':
    if len(sys.argv) > 2 and sys.argv[1] == '--desktop':
        desktop_icons(sys.argv[2])
    else:
        main(sys.argv[1] if len(sys.argv) > 1 else 'res/fernwood2.ico')
