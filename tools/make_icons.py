#!/usr/bin/env python3
"""Draws the panel's icon strips: resources/vokCurrency.png (16-pixel frames) and
resources/vokCurrencyHIDPI.png (32-pixel frames).

Five square frames side by side, one per update state:
  0 Fresh        a green coin with a rouble sign
  1 Stale        an amber clock
  2 Downloading  a blue arrow pointing down
  3 Succeeded    a green tick
  4 Failed       a red cross

The background is RGB(1, 2, 3), the colour the panel draws as transparent. Shapes are
rasterised by testing each pixel's centre, without anti-aliasing, so every pixel is
either exactly the background or a colour of the picture; no picture colour equals
the background.

Standard library only: python3 tools/make_icons.py [output folder]
"""

import math
import os
import struct
import sys
import zlib

BACKGROUND = (1, 2, 3)
FRAMES = 5

GREEN = (24, 168, 40)
GREEN_DARK = (8, 88, 16)
AMBER = (240, 160, 16)
AMBER_DARK = (128, 72, 0)
BLUE = (32, 112, 232)
BLUE_DARK = (8, 40, 128)
RED = (224, 32, 32)
RED_DARK = (112, 0, 0)
WHITE = (255, 255, 255)
INK = (32, 32, 32)


def segment_distance(px, py, ax, ay, bx, by):
    """Distance from point p to the segment a-b."""
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / length2))
    cx, cy = ax + t * dx, ay + t * dy
    return math.hypot(px - cx, py - cy)


def polyline_distance(px, py, points):
    return min(segment_distance(px, py, *points[i], *points[i + 1]) for i in range(len(points) - 1))


def inside_polygon(px, py, points):
    """Even-odd rule."""
    inside = False
    n = len(points)
    for i in range(n):
        ax, ay = points[i]
        bx, by = points[(i + 1) % n]
        if (ay > py) != (by > py):
            x = ax + (py - ay) * (bx - ax) / (by - ay)
            if px < x:
                inside = not inside
    return inside


class Frame:
    """One square frame. Drawing coordinates are in design units: the frame is 16 units
    across whatever its size in pixels, so the 32-pixel frames are the 16-pixel design
    at twice the resolution. Pixel (col, row) has its centre at design point
    ((col + 0.5) / scale, (row + 0.5) / scale)."""

    def __init__(self, size):
        self.size = size
        self.scale = size / 16.0
        self.pixels = [[BACKGROUND] * size for _ in range(size)]

    def paint(self, colour, test):
        """Sets every pixel whose centre satisfies test(x, y)."""
        for row in range(self.size):
            for col in range(self.size):
                if test((col + 0.5) / self.scale, (row + 0.5) / self.scale):
                    self.pixels[row][col] = colour

    def disc(self, colour, cx, cy, r):
        self.paint(colour, lambda x, y: math.hypot(x - cx, y - cy) <= r)

    def stroke(self, colour, points, half_width):
        self.paint(colour, lambda x, y: polyline_distance(x, y, points) <= half_width)

    def polygon(self, colour, points, outline=None, outline_width=0.0):
        if outline is not None:
            ring = points + [points[0]]
            self.paint(outline, lambda x, y: inside_polygon(x, y, points) or
                       polyline_distance(x, y, ring) <= outline_width)
        self.paint(colour, lambda x, y: inside_polygon(x, y, points))


# Thin strokes: one pixel wide in the 16-pixel frames, two in the 32-pixel ones.
THIN = 0.55


def draw_fresh(f):
    f.disc(GREEN_DARK, 8, 8, 7.45)
    f.disc(GREEN, 8, 8, 6.5)
    # Rouble sign: a stem with a bowl at the top and two bars across it.
    f.stroke(WHITE, [(6.5, 12.5), (6.5, 3.5), (9.5, 3.5), (10.5, 4.5), (10.5, 5.5), (9.5, 6.5),
                     (4.5, 6.5)], THIN)
    f.stroke(WHITE, [(4.5, 9.5), (9.5, 9.5)], THIN)


def draw_stale(f):
    f.disc(AMBER_DARK, 8, 8, 7.45)
    f.disc(AMBER, 8, 8, 6.5)
    f.disc(WHITE, 8, 8, 4.9)
    f.stroke(INK, [(7.5, 4.0), (7.5, 7.5), (10.5, 9.5)], THIN)


def draw_downloading(f):
    arrow = [(6, 1), (10, 1), (10, 7.5), (14, 7.5), (8, 14.5), (2, 7.5), (6, 7.5)]
    f.polygon(BLUE, arrow, BLUE_DARK, 0.8)


def draw_succeeded(f):
    tick = [(2.5, 8.5), (6.5, 12.5), (13.5, 3.5)]
    f.stroke(GREEN_DARK, tick, 2.3)
    f.stroke(GREEN, tick, 1.3)


def draw_failed(f):
    for line in ([(3.5, 3.5), (12.5, 12.5)], [(12.5, 3.5), (3.5, 12.5)]):
        f.stroke(RED_DARK, line, 2.3)
    for line in ([(3.5, 3.5), (12.5, 12.5)], [(12.5, 3.5), (3.5, 12.5)]):
        f.stroke(RED, line, 1.3)


PAINTERS = [draw_fresh, draw_stale, draw_downloading, draw_succeeded, draw_failed]


def render_strip(size):
    frames = []
    for painter in PAINTERS:
        frame = Frame(size)
        painter(frame)
        frames.append(frame)
    rows = []
    for row in range(size):
        line = []
        for frame in frames:
            line.extend(frame.pixels[row])
        rows.append(line)
    return rows


def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def encode_png(rows):
    height = len(rows)
    width = len(rows[0])
    raw = bytearray()
    for line in rows:
        raw.append(0)  # filter: none
        for r, g, b in line:
            raw.extend((r, g, b))
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)  # 8-bit RGB
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) +
            png_chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + png_chunk(b"IEND", b""))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "resources")
    for name, size in (("vokCurrency.png", 16), ("vokCurrencyHIDPI.png", 32)):
        rows = render_strip(size)
        assert len(rows[0]) == FRAMES * size
        for n in range(FRAMES):
            drawn = sum(1 for line in rows for pixel in line[n * size:(n + 1) * size]
                        if pixel != BACKGROUND)
            assert drawn > size, "frame %d is almost empty" % n
            # The tests and the panel rely on these: clear corners, a drawn middle.
            assert rows[0][n * size] == BACKGROUND and rows[size - 1][n * size + size - 1] == BACKGROUND
            assert rows[size // 2][n * size + size // 2] != BACKGROUND
        with open(os.path.join(out, name), "wb") as f:
            f.write(encode_png(rows))
        print("wrote", os.path.normpath(os.path.join(out, name)))


if __name__ == "__main__":
    main()
