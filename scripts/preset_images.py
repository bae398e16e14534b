#!/usr/bin/env python3
"""Draws the four preset pictures and the error icon of the vector-object view (imaging/view/presets/*.png).

Run once after changing a picture; the PNG files are committed and compiled in at build time.
Each picture frames an area (the rectangle listed beside it) where a user's image goes.
"""
import math
import os
import struct
import sys
import zlib


def png(path, width, height, color_type, rows, palette=None):
    def chunk(tag, data):
        c = struct.pack(">I", len(data)) + tag + data
        return c + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF)

    raw = b"".join(b"\0" + bytes(r) for r in rows)
    out = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, color_type, 0, 0, 0))
    if palette:
        out += chunk(b"PLTE", bytes(c for rgb in palette for c in rgb))
    out += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(out)


def inside(x, y, area):
    return area[0] <= x < area[2] and area[1] <= y < area[3]


def frame_with_shadow(w, h, area):
    # A white photo mount with a soft shadow on a transparent ground; the area is left light grey.
    rows = []
    l, t, r, b = area[0] - 10, area[1] - 10, area[2] + 10, area[3] + 10
    for y in range(h):
        row = []
        for x in range(w):
            if inside(x, y, area):
                px = (235, 235, 235, 255)
            elif l <= x < r and t <= y < b:
                px = (255, 255, 255, 255)
            else:
                dx = max(l + 6 - x, 0, x - (r + 5))
                dy = max(t + 6 - y, 0, y - (b + 5))
                d = math.hypot(dx, dy)
                a = max(0, int(120 * (1 - d / 8))) if x >= l + 6 and y >= t + 6 or d < 8 else 0
                px = (40, 40, 40, a)
            row += px
        rows.append(row)
    return rows


def tv(w, h, area):
    # A wooden cabinet around the area, two knobs at the right.
    rows = []
    for y in range(h):
        row = []
        for x in range(w):
            if inside(x, y, area):
                px = (20, 30, 40)
            elif x >= area[2] and (math.hypot(x - 104, y - 30) < 5 or math.hypot(x - 104, y - 60) < 5):
                px = (30, 30, 30)
            else:
                g = 110 + int(20 * math.sin(y / 3.0 + x / 40.0))
                px = (g + 40, g, g // 2)
            row += px
        rows.append(row)
    return rows


def paletted(w, h, area, ellipse):
    palette = [(0, 0, 0), (255, 255, 255), (200, 170, 60), (120, 90, 30), (250, 250, 250)]
    rows = []
    cx, cy = (area[0] + area[2]) / 2, (area[1] + area[3]) / 2
    rx, ry = (area[2] - area[0]) / 2, (area[3] - area[1]) / 2
    for y in range(h):
        row = []
        for x in range(w):
            if ellipse:
                d = ((x + 0.5 - cx) / rx) ** 2 + ((y + 0.5 - cy) / ry) ** 2
                hole, rim = d <= 1, d <= 1.25
            else:
                hole = inside(x, y, area)
                rim = inside(x, y, (area[0] - 8, area[1] - 8, area[2] + 8, area[3] + 8))
            if hole:
                row.append(4)
            elif rim:
                row.append(2 if (x + y) % 7 else 3)
            else:
                row.append(1)
        rows.append(row)
    return rows, palette


def error_icon(size=64):
    # A red disc with a white cross on white: the picture of a missing bitmap.
    rows = []
    c = (size - 1) / 2
    for y in range(size):
        row = []
        for x in range(size):
            d = math.hypot(x - c, y - c)
            cross = (abs(x - y) < 5 or abs(x + y - (size - 1)) < 5) and d < size * 0.3
            if d > size / 2 - 2:
                px = (255, 255, 255)
            elif cross:
                px = (255, 255, 255)
            else:
                px = (200, 30, 30)
            row += px
        rows.append(row)
    return rows


def main(out):
    os.makedirs(out, exist_ok=True)
    png(os.path.join(out, "preset0.png"), 162, 159, 6, frame_with_shadow(162, 159, (18, 29, 140, 119)))
    png(os.path.join(out, "preset1.png"), 112, 100, 2, tv(112, 100, (13, 1, 95, 98)))
    png(os.path.join(out, "erroricon.png"), 64, 64, 2, error_icon())
    rows, pal = paletted(163, 108, (30, 14, 147, 92), False)
    png(os.path.join(out, "preset2.png"), 163, 108, 3, rows, pal)
    rows, pal = paletted(150, 150, (17, 17, 131, 131), True)
    png(os.path.join(out, "preset3.png"), 150, 150, 3, rows, pal)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "imaging", "view", "presets"))
