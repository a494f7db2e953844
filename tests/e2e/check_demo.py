#!/usr/bin/env python3
"""Checks what the run command's demo left in its data folder: the history file
holds the day the sample service published last and one before it, and the
screenshot shows the panel's three default items with their arrows.

Usage: check_demo.py DATA-FOLDER
"""
import datetime
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools"))
import sample_rates_service as service  # noqa: E402


def read_png(path):
    """(width, height, rows of (r, g, b)) of an 8-bit RGB or RGBA PNG."""
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    at, chunks, header = 8, [], None
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            chunks.append(body)
        at += 12 + length
    width, height, depth, colour, _, _, interlace = header
    assert depth == 8 and colour in (2, 6) and interlace == 0, "unexpected PNG format %r" % (header,)
    channels = 3 if colour == 2 else 4
    raw = zlib.decompress(b"".join(chunks))
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride):
            left = line[x - channels] if x >= channels else 0
            up = previous[x]
            corner = previous[x - channels] if x >= channels else 0
            if kind == 1:
                line[x] = (line[x] + left) & 255
            elif kind == 2:
                line[x] = (line[x] + up) & 255
            elif kind == 3:
                line[x] = (line[x] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                line[x] = (line[x] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 255
        rows.append([tuple(line[x * channels:x * channels + 3]) for x in range(width)])
        previous = line
    return width, height, rows


def is_arrow(pixel):
    """Green or red, well clear of the other two channels."""
    r, g, b = pixel
    return g > max(r, b) + 60 or r > max(g, b) + 60


def runs(flags):
    """(start, end) of each stretch of set flags."""
    found, start = [], None
    for i, flag in enumerate(list(flags) + [False]):
        if flag and start is None:
            start = i
        elif not flag and start is not None:
            found.append((start, i))
            start = None
    return found


def main():
    folder = sys.argv[1]
    failures = []

    history = open(os.path.join(folder, "vokCurrency.his"), "rb").read()
    if len(history) != 15 * 140:
        failures.append("history file is %d bytes, not 15 records" % len(history))
    expected = service.table_day_for(datetime.date.today(), datetime.date.today(), 6)
    code = bytes([expected.day, expected.month, (expected.year + 59) % 256])
    records = [history[at:at + 140] for at in range(0, len(history) - 139, 140)]
    latest = next((r for r in records if r[:3] == code), None)
    if latest is None:
        failures.append("the history lacks the service's last table, %s" % expected)
        latest = bytes(140)
    if sum(1 for r in records if r[0]) < 2:
        failures.append("the first update stored no earlier day beside it")
    eur_nominal, eur_rate = struct.unpack("<if", latest[4:12])
    usd_nominal, usd_rate = struct.unpack("<if", latest[12:20])
    if eur_nominal != 1 or not 50 < eur_rate < 200 or usd_nominal != 1 or not 50 < usd_rate < 200:
        failures.append("EUR/USD not stored: %r %r %r %r" % (eur_nominal, eur_rate, usd_nominal, usd_rate))

    width, height, rows = read_png(os.path.join(folder, "screenshot.png"))
    if (width, height) not in ((240, 320), (480, 640)):
        failures.append("screenshot is %dx%d" % (width, height))
    # The panel's line: the rows just under the date bar. The three default items are
    # found by what they are: the euro's rate with its arrow, the ratio, the dollar's
    # rate with its arrow. Arrows are the green or red columns; text is whatever else
    # is not the light background, so smoothed text of any font counts.
    scale = width // 240
    line = rows[28 * scale:46 * scale]
    columns = range(20 * scale, width)
    arrow = [any(is_arrow(row[x]) for row in line) for x in columns]
    text = [not arrow[i] and any(min(row[x]) < 140 for row in line) for i, x in enumerate(columns)]
    arrows = runs(arrow)
    if len(arrows) != 2:
        failures.append("the panel line shows %d trend arrows, not 2" % len(arrows))
    else:
        (first, first_end), (second, second_end) = arrows
        between = runs(text[first_end:second])
        if not any(text[:first]):
            failures.append("no euro rate before the first arrow")
        if len(between) < 2:
            failures.append("no ratio and dollar rate between the two arrows")
        if second_end >= len(columns):
            failures.append("the dollar's arrow runs into the right edge")
    # The icon frame at the left end is drawn (not the bare background).
    icon = [row[x] for row in line for x in range(0, 16 * scale)]
    if all(abs(p[0] - p[1]) < 30 and p[2] > 200 for p in icon):
        failures.append("no icon frame at the left end of the panel")

    for f in failures:
        print("check_demo: " + f)
    if not failures:
        print("check_demo: history holds %s; the panel shows three items" % expected)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
