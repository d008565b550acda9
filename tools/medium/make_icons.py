#!/usr/bin/env python3
"""Draws the demo programs' icons (32x32, 32-bit with mask) into a directory."""
import math
import struct
import sys
from pathlib import Path

SIZE = 32


def blank():
    return [[None] * SIZE for _ in range(SIZE)]


def fill_rect(img, x0, y0, x1, y1, rgb):
    for y in range(max(0, y0), min(SIZE, y1)):
        for x in range(max(0, x0), min(SIZE, x1)):
            img[y][x] = rgb


def fill_disc(img, cx, cy, r, rgb):
    for y in range(SIZE):
        for x in range(SIZE):
            if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r:
                img[y][x] = rgb


def line(img, x0, y0, x1, y1, rgb, width=1.0):
    steps = int(max(abs(x1 - x0), abs(y1 - y0)) * 2) + 1
    for i in range(steps + 1):
        x, y = x0 + (x1 - x0) * i / steps, y0 + (y1 - y0) * i / steps
        if width > 1:
            fill_disc(img, x, y, width, rgb)
        else:
            _plot(img, x, y, rgb)


def _plot(img, x, y, rgb):
    xi, yi = int(x), int(y)
    if 0 <= xi < SIZE and 0 <= yi < SIZE:
        img[yi][xi] = rgb


def page(img, paper=(250, 250, 240), edge=(60, 60, 80)):
    fill_rect(img, 6, 2, 26, 30, paper)
    for x in range(6, 26):
        img[2][x] = img[29][x] = edge
    for y in range(2, 30):
        img[y][6] = img[y][25] = edge


def text_lines(img, rgb, rows=range(8, 26, 3)):
    for y in rows:
        fill_rect(img, 9, y, 23, y + 1, rgb)


def quill(img):
    line(img, 27, 3, 8, 26, (40, 70, 160), width=1.6)
    line(img, 27, 3, 20, 14, (120, 160, 230), width=2.5)
    _plot(img, 7, 27, (20, 20, 20))
    _plot(img, 6, 28, (20, 20, 20))


def icon_quillon_app():
    img = blank()
    fill_disc(img, 16, 16, 15, (200, 220, 250))
    quill(img)
    return img


def icon_quillon_doc():
    img = blank()
    page(img)
    text_lines(img, (90, 90, 120))
    line(img, 24, 6, 14, 20, (40, 70, 160), width=1.2)
    return img


def icon_quillon_set():
    img = blank()
    page(img, paper=(235, 240, 235))
    for y in range(8, 26, 4):
        fill_rect(img, 9, y, 12, y + 2, (40, 130, 60))
        fill_rect(img, 14, y, 23, y + 1, (90, 90, 90))
    return img


def icon_quillon_pcd():
    img = blank()
    page(img)
    fill_rect(img, 9, 8, 23, 22, (120, 180, 220))
    fill_disc(img, 19, 12, 2.5, (250, 220, 60))
    for x in range(9, 23):
        top = 22 - int(6 * abs(math.sin((x - 9) / 4.0)))
        fill_rect(img, x, top, x + 1, 22, (60, 130, 60))
    return img


def icon_lumen_app():
    img = blank()
    for k in range(12):
        a = k * math.pi / 6
        line(img, 16 + 9 * math.cos(a), 16 + 9 * math.sin(a),
             16 + 15 * math.cos(a), 16 + 15 * math.sin(a), (240, 160, 20))
    fill_disc(img, 16, 16, 8, (255, 210, 40))
    return img


def icon_lumen_pic():
    img = blank()
    fill_rect(img, 3, 6, 29, 26, (60, 60, 70))
    fill_rect(img, 5, 8, 27, 24, (150, 200, 240))
    fill_disc(img, 21, 13, 3, (255, 210, 40))
    return img


def icon_uinstall():
    img = blank()
    fill_rect(img, 5, 8, 27, 28, (180, 140, 90))
    fill_rect(img, 4, 5, 28, 9, (140, 100, 60))
    line(img, 9, 12, 23, 25, (200, 30, 30), width=1.5)
    line(img, 23, 12, 9, 25, (200, 30, 30), width=1.5)
    return img


ICONS = {
    "quillon_app.ico": icon_quillon_app,
    "quillon_doc.ico": icon_quillon_doc,
    "quillon_set.ico": icon_quillon_set,
    "quillon_pcd.ico": icon_quillon_pcd,
    "lumen_app.ico": icon_lumen_app,
    "lumen_pic.ico": icon_lumen_pic,
    "uinstall.ico": icon_uinstall,
}


def ico_bytes(img):
    """One 32x32 image: BGRA rows bottom-up, then the 1-bit AND mask."""
    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(SIZE)):
        bits = 0
        for x in range(SIZE):
            px = img[y][x]
            if px is None:
                xor += b"\0\0\0\0"
                bits |= 1 << (SIZE - 1 - x)
            else:
                r, g, b = px
                xor += bytes((b, g, r, 255))
        mask += struct.pack(">I", bits)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    data = header + bytes(xor) + bytes(mask)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(data), 6 + 16)
    return struct.pack("<HHH", 0, 1, 1) + entry + data


def main(argv):
    if len(argv) != 2:
        print("usage: make_icons.py <out-dir>", file=sys.stderr)
        return 2
    out = Path(argv[1])
    out.mkdir(parents=True, exist_ok=True)
    for name, draw in ICONS.items():
        (out / name).write_bytes(ico_bytes(draw()))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
