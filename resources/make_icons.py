#!/usr/bin/env python3
"""Draws Korvan's icons (check-box indicators, combo arrows, window icon) without any image library.

Run once from this folder; the images are committed. Shapes are drawn with signed distance functions
and 4x4 supersampling, which is plenty for flat indicator art.
"""
import math
import struct
import zlib

CYAN = (0x00, 0xBA, 0xFF)
GREY = (0x55, 0x55, 0x55)
DARK = (0x30, 0x30, 0x30)
WHITE = (0xFF, 0xFF, 0xFF)
DIM = (0xA0, 0xA0, 0xA0)


def png_bytes(width, height, rgba_rows):
    raw = b"".join(b"\x00" + bytes(row) for row in rgba_rows)
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def rounded_box(x, y, cx, cy, hw, hh, r):
    qx, qy = abs(x - cx) - hw + r, abs(y - cy) - hh + r
    return math.hypot(max(qx, 0), max(qy, 0)) + min(max(qx, qy), 0) - r


def segment(x, y, ax, ay, bx, by):
    px, py, dx, dy = x - ax, y - ay, bx - ax, by - ay
    t = max(0.0, min(1.0, (px * dx + py * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - dx * t, py - dy * t)


def triangle(x, y, pts):
    # Distance to the outline, negative inside.
    d = min(segment(x, y, *pts[i], *pts[(i + 1) % 3]) for i in range(3))
    sign = [((pts[(i + 1) % 3][0] - pts[i][0]) * (y - pts[i][1]) -
             (pts[(i + 1) % 3][1] - pts[i][1]) * (x - pts[i][0])) for i in range(3)]
    inside = all(s >= 0 for s in sign) or all(s <= 0 for s in sign)
    return -d if inside else d


def render(width, height, layers):
    """layers: list of (colour, function(x, y) -> signed distance); later layers paint over earlier."""
    rows = []
    samples = [(i + 0.5) / 4 for i in range(4)]
    for py in range(height):
        row = []
        for px in range(width):
            r = g = b = a = 0.0
            for colour, shape in layers:
                cover = sum(1 for sy in samples for sx in samples if shape(px + sx, py + sy) <= 0) / 16.0
                if cover == 0:
                    continue
                out_a = cover + a * (1 - cover)
                r = (colour[0] * cover + r * a * (1 - cover)) / out_a
                g = (colour[1] * cover + g * a * (1 - cover)) / out_a
                b = (colour[2] * cover + b * a * (1 - cover)) / out_a
                a = out_a
            row += [round(r), round(g), round(b), round(a * 255)]
        rows.append(row)
    return rows


def box_layers(size, border, fill, mark):
    c, half = size / 2, size / 2 - size * 0.06
    rim = size * 0.07
    layers = [(border, lambda x, y: rounded_box(x, y, c, c, half, half, size * 0.12)),
              (fill, lambda x, y: rounded_box(x, y, c, c, half - rim, half - rim, size * 0.07))]
    if mark:
        s = size / 128.0
        stroke = 9 * s
        layers.append((mark, lambda x, y: min(segment(x, y, 32 * s, 66 * s, 54 * s, 90 * s),
                                             segment(x, y, 54 * s, 90 * s, 98 * s, 38 * s)) - stroke))
    return layers


def arrow_layers(width, height, colour):
    pts = [(width * 0.2, height * 0.2), (width * 0.8, height * 0.2), (width * 0.5, height * 0.8)]
    return [(colour, lambda x, y: triangle(x, y, pts) - height * 0.04)]


def logo_layers(size):
    c, s = size / 2, size / 256.0
    stroke = 17 * s
    return [(CYAN, lambda x, y: rounded_box(x, y, c, c, c - 4 * s, c - 4 * s, 40 * s)),
            ((0x2D, 0x2D, 0x2D), lambda x, y: rounded_box(x, y, c, c, c - 20 * s, c - 20 * s, 28 * s)),
            (WHITE, lambda x, y: min(segment(x, y, 88 * s, 64 * s, 88 * s, 192 * s),
                                     segment(x, y, 176 * s, 64 * s, 96 * s, 128 * s),
                                     segment(x, y, 110 * s, 118 * s, 180 * s, 192 * s)) - stroke),
            (CYAN, lambda x, y: math.hypot(x - 196 * s, y - 196 * s) - 22 * s)]


def write_png(name, width, height, layers):
    with open(name, "wb") as f:
        f.write(png_bytes(width, height, render(width, height, layers)))


def write_ico(name, sizes):
    images = [png_bytes(n, n, render(n, n, logo_layers(n))) for n in sizes]
    header = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    entries = b""
    for n, data in zip(sizes, images):
        entries += struct.pack("<BBBBHHII", n % 256, n % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(name, "wb") as f:
        f.write(header + entries + b"".join(images))


if __name__ == "__main__":
    write_png("check.png", 128, 128, box_layers(128, CYAN, DARK, WHITE))
    write_png("uncheck.png", 128, 128, box_layers(128, CYAN, DARK, None))
    write_png("check_disable.png", 128, 128, box_layers(128, GREY, DARK, DIM))
    write_png("uncheck_disable.png", 128, 128, box_layers(128, GREY, DARK, None))
    write_png("downarrow.png", 120, 60, arrow_layers(120, 60, WHITE))
    write_png("downarrow_disable.png", 120, 60, arrow_layers(120, 60, GREY))
    write_ico("korvan.ico", [16, 20, 24, 30, 32, 36, 40, 48, 60, 64, 72, 96, 256])
    write_png("korvan.png", 256, 256, logo_layers(256))  # the desktop entry's icon in the package
