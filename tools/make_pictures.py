#!/usr/bin/env python3
"""Draws the setup program's pictures and icons and writes them as BMP and
ICO files into res/pictures/. Standard library only; the output depends on
nothing but this script, so running it again gives the same bytes."""

import math
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pixfont  # noqa: E402


class Image:
    def __init__(self, w, h, fill=0):
        self.w, self.h = w, h
        self.px = [[fill] * w for _ in range(h)]

    def set(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def get(self, x, y):
        return self.px[y][x]

    def rect(self, x, y, w, h, c):
        for yy in range(max(0, y), min(self.h, y + h)):
            row = self.px[yy]
            for xx in range(max(0, x), min(self.w, x + w)):
                row[xx] = c

    def frame(self, x, y, w, h, c):
        self.rect(x, y, w, 1, c)
        self.rect(x, y + h - 1, w, 1, c)
        self.rect(x, y, 1, h, c)
        self.rect(x + w - 1, y, 1, h, c)

    def line(self, x0, y0, x1, y1, c):
        n = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(n + 1):
            self.set(round(x0 + (x1 - x0) * i / n), round(y0 + (y1 - y0) * i / n), c)

    def disc(self, cx, cy, r, c, r_inner=0.0):
        for y in range(int(cy - r) - 1, int(cy + r) + 2):
            for x in range(int(cx - r) - 1, int(cx + r) + 2):
                d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
                if r_inner <= d <= r:
                    self.set(x, y, c)

    def polygon(self, pts, c):
        ys = [p[1] for p in pts]
        for y in range(int(min(ys)), int(math.ceil(max(ys))) + 1):
            yc = y + 0.5
            xs = []
            for i in range(len(pts)):
                (xa, ya), (xb, yb) = pts[i], pts[(i + 1) % len(pts)]
                if (ya <= yc < yb) or (yb <= yc < ya):
                    xs.append(xa + (yc - ya) * (xb - xa) / (yb - ya))
            xs.sort()
            for k in range(0, len(xs) - 1, 2):
                for x in range(int(math.ceil(xs[k] - 0.5)), int(math.ceil(xs[k + 1] - 0.5))):
                    self.set(x, y, c)


# ---- file writers ----

def bmp_bytes(img, palette, bpp):
    colours = 1 << bpp
    assert len(palette) == colours
    stride = ((img.w * bpp + 31) // 32) * 4
    bits = bytearray()
    for y in range(img.h - 1, -1, -1):
        row = img.px[y]
        if bpp == 8:
            line = bytearray(row)
        else:
            line = bytearray((row[x] << 4) | (row[x + 1] if x + 1 < img.w else 0)
                             for x in range(0, img.w, 2))
        line += b'\0' * (stride - len(line))
        bits += line
    header = struct.pack('<IiiHHIIiiII', 40, img.w, img.h, 1, bpp, 0, len(bits),
                         2835, 2835, 0, 0)
    table = b''.join(struct.pack('BBBB', b, g, r, 0) for (r, g, b) in palette)
    offset = 14 + len(header) + len(table)
    return struct.pack('<2sIHHI', b'BM', offset + len(bits), 0, 0, offset) + header + table + bits


def ico_bytes(images, palette, transparent):
    """4-bit icon images; pixels equal to `transparent` are masked out."""
    entries, blobs = [], []
    offset = 6 + 16 * len(images)
    for img in images:
        stride = ((img.w * 4 + 31) // 32) * 4
        mstride = ((img.w + 31) // 32) * 4
        xor, mask = bytearray(), bytearray()
        for y in range(img.h - 1, -1, -1):
            row = [0 if p == transparent else p for p in img.px[y]]
            line = bytearray((row[x] << 4) | row[x + 1] for x in range(0, img.w, 2))
            xor += line + b'\0' * (stride - len(line))
            m = bytearray(mstride)
            for x in range(img.w):
                if img.px[y][x] == transparent:
                    m[x // 8] |= 0x80 >> (x % 8)
            mask += m
        header = struct.pack('<IiiHHIIiiII', 40, img.w, img.h * 2, 1, 4, 0,
                             len(xor) + len(mask), 0, 0, 0, 0)
        table = b''.join(struct.pack('BBBB', b, g, r, 0) for (r, g, b) in palette)
        blob = header + table + xor + mask
        entries.append(struct.pack('<BBBBHHII', img.w, img.h, 16, 0, 1, 4, len(blob), offset))
        offset += len(blob)
        blobs.append(blob)
    return struct.pack('<HHH', 0, 1, len(images)) + b''.join(entries) + b''.join(blobs)


# ---- the 16-colour palette shared by the side picture, billboards and icons ----

PAL16 = [
    (255, 255, 255), (0, 0, 0), (31, 42, 92), (46, 90, 172),
    (169, 196, 235), (255, 248, 231), (208, 208, 208), (128, 128, 128),
    (64, 64, 64), (200, 16, 46), (242, 140, 40), (242, 193, 46),
    (46, 157, 91), (0, 128, 128), (176, 51, 143), (41, 182, 230),
]
WHITE, BLACK, NAVY, BLUE, SKY, CREAM, LGREY, GREY, DGREY, RED, ORANGE, GOLD, GREEN, TEAL, MAGENTA, CYAN = range(16)

BAYER4 = [[0, 8, 2, 10], [12, 4, 14, 6], [3, 11, 1, 9], [15, 7, 13, 5]]


def dither(x, y, t, lo, hi):
    """lo or hi by an ordered dither of the fraction t (0..1)."""
    return hi if t * 16 > BAYER4[y % 4][x % 4] + 0.5 else lo


def page(img, x, y, w, h, lines_colour=LGREY, cols=2):
    """A sheet with a drop shadow and columns of text lines."""
    img.rect(x + 3, y + 3, w, h, DGREY)
    img.rect(x, y, w, h, WHITE)
    img.frame(x, y, w, h, GREY)
    colw = (w - 6 - 3 * (cols - 1)) // cols
    for c in range(cols):
        cx = x + 3 + c * (colw + 3)
        for ly in range(y + 5, y + h - 4, 3):
            ln = colw - (4 if (ly // 3 + c) % 5 == 4 else 0)
            img.rect(cx, ly, ln, 1, lines_colour)


def nib(img, cx, cy, size, angle, body=GOLD, edge=DGREY):
    """A pen nib pointing along `angle` (radians) with its tip at (cx, cy)."""
    ca, sa = math.cos(angle), math.sin(angle)

    def at(u, v):  # u along the nib from the tip, v across
        return (cx + u * ca - v * sa, cy + u * sa + v * ca)

    s = size
    outline = [at(0, 0), at(0.55 * s, -0.32 * s), at(0.95 * s, -0.3 * s), at(1.0 * s, 0),
               at(0.95 * s, 0.3 * s), at(0.55 * s, 0.32 * s)]
    img.polygon(outline, body)
    for i in range(len(outline)):
        (xa, ya), (xb, yb) = outline[i], outline[(i + 1) % len(outline)]
        img.line(round(xa), round(ya), round(xb), round(yb), edge)
    hx, hy = at(0.55 * s, 0)
    img.disc(hx, hy, max(1.0, s * 0.07), edge)
    tx, ty = at(0.05 * s, 0)
    img.line(round(tx), round(ty), round(hx), round(hy), edge)


# ---- side picture ----

def side_picture():
    img = Image(119, 261)
    for y in range(261):
        t = y / 260
        for x in range(119):
            u = min(1.0, max(0.0, t * 1.6 - 0.1 + (x - 60) * 0.002))
            if u < 0.5:
                img.set(x, y, dither(x, y, u * 2, NAVY, BLUE))
            else:
                img.set(x, y, dither(x, y, (u - 0.5) * 2, BLUE, TEAL))
    # soft light diagonal rays
    for k in range(3):
        img.polygon([(-10 + k * 35, 261), (20 + k * 35, 261), (120, 60 + k * 25), (120, 40 + k * 25)], NAVY if k % 2 else BLUE)
    page(img, 14, 24, 62, 84, cols=2)
    page(img, 30, 50, 62, 84, cols=2)
    page(img, 46, 76, 60, 84, cols=2)
    # the front page carries a picture and a headline
    img.rect(50, 81, 52, 18, SKY)
    img.disc(62, 90, 6, GOLD)
    img.polygon([(50, 99), (70, 88), (84, 99)], GREEN)
    img.polygon([(72, 99), (88, 86), (102, 99)], TEAL)
    img.rect(50, 102, 36, 3, NAVY)
    # colour swatches
    for i, c in enumerate((RED, ORANGE, GOLD, GREEN, CYAN, MAGENTA)):
        img.rect(14 + i * 15, 166, 12, 12, c)
        img.frame(14 + i * 15, 166, 12, 12, WHITE)
    # The page control shows about 244 rows; the bottom of the picture is a margin.
    nib(img, 26, 232, 66, -0.75)
    img.line(24, 234, 8, 242, CREAM)
    img.line(25, 235, 12, 243, SKY)
    return img


# ---- flags ----

FLAG_PAL = [
    (0, 0, 0), (255, 255, 255), (221, 0, 0), (255, 206, 0),
    (178, 34, 52), (60, 59, 110), (0, 85, 164), (239, 65, 53),
    (174, 28, 40), (33, 70, 139), (0, 146, 70), (206, 43, 55),
    (220, 20, 60), (17, 69, 126), (215, 20, 26), (128, 128, 128),
]


def flag(code):
    img = Image(32, 18, 1)
    if code == 'de':
        for i, c in enumerate((0, 2, 3)):
            img.rect(0, i * 6, 32, 6, c)
    elif code == 'us':
        for y in range(18):
            img.rect(0, y, 32, 1, 4 if (y // 2) % 2 == 0 else 1)
        img.rect(0, 0, 14, 10, 5)
        for row in range(4):
            for col in range(5):
                img.set(1 + col * 3 + (row % 2), 1 + row * 2 + 1, 1)
    elif code == 'fr':
        img.rect(0, 0, 11, 18, 6)
        img.rect(21, 0, 11, 18, 7)
    elif code == 'nl':
        img.rect(0, 0, 32, 6, 8)
        img.rect(0, 12, 32, 6, 9)
    elif code == 'it':
        img.rect(0, 0, 11, 18, 10)
        img.rect(21, 0, 11, 18, 11)
    elif code == 'pl':
        img.rect(0, 9, 32, 9, 12)
    elif code == 'cz':
        img.rect(0, 9, 32, 9, 14)
        img.polygon([(0, 0), (16, 9), (0, 18)], 13)
    img.frame(0, 0, 32, 18, 15)
    return img


# ---- background ----

def background():
    stops = [(0.0, (252, 249, 240)), (0.30, (226, 234, 244)), (0.55, (160, 190, 228)),
             (0.80, (60, 98, 170)), (1.0, (18, 28, 72))]
    ramp = 256

    def colour(t):
        for (ta, ca), (tb, cb) in zip(stops, stops[1:]):
            if t <= tb:
                f = (t - ta) / (tb - ta)
                return tuple(round(a + (b - a) * f) for a, b in zip(ca, cb))
        return stops[-1][1]

    # Ramp level k is stored at index k ^ (k >> 1): neighbouring levels then
    # differ in one bit, so a stretch that ANDs neighbouring indices yields
    # one of the two instead of a stray colour.
    palette = [None] * 256
    for k in range(ramp):
        palette[k ^ (k >> 1)] = colour(k / (ramp - 1))
    W, H = 700, 525
    img = Image(W, H)
    # Translucent sheets drifting across the lower right: each lightens what lies under it.
    sheets = []
    for k in range(5):
        cx, cy = 430 + k * 55, 250 + k * 48
        a = -0.35 + k * 0.12
        w, h = 150, 200
        ca, sa = math.cos(a), math.sin(a)
        sheets.append((cx, cy, ca, sa, w / 2, h / 2))
    for y in range(H):
        fy = y / (H - 1)
        row = img.px[y]
        for x in range(W):
            fx = x / (W - 1)
            t = 0.58 * fx * fx + 0.55 * fy * fy + 0.18 * fx * fy
            t += 0.045 * math.sin(fx * 9.0 + fy * 5.0) * min(1.0, t * 1.5)
            for (cx, cy, ca, sa, hw, hh) in sheets:
                u = (x - cx) * ca + (y - cy) * sa
                v = -(x - cx) * sa + (y - cy) * ca
                if abs(u) < hw and abs(v) < hh:
                    t -= 0.06
                    if abs(u) > hw - 2 or abs(v) > hh - 2:
                        t -= 0.05
            t = min(1.0, max(0.0, t))
            # No dithering: a shrinking stretch in the default mode ANDs
            # neighbouring pixels, which turns dithered areas into speckles.
            k = min(ramp - 1, int(t * (ramp - 1) + 0.5))
            row[x] = k ^ (k >> 1)
    return img, palette


# ---- billboards ----

TEXTS = {
    50: {
        'en': ("Perfect typography", "Kerning, ligatures and fine spacing give every page a professional look."),
        'de': ("Perfekte Typografie", "Unterschneidung, Ligaturen und feiner Satz geben jeder Seite ein professionelles Aussehen."),
        'fr': ("Typographie parfaite", "Crénage, ligatures et espacement précis donnent à chaque page un aspect professionnel."),
        'cs': ("Dokonalá typografie", "Vyrovnání párů, ligatury a jemné mezery dodají každé stránce profesionální vzhled."),
    },
    51: {
        'en': ("Master pages", "Design headers, columns and page numbers once - every page follows them."),
        'de': ("Musterseiten", "Kopfzeilen, Spalten und Seitenzahlen nur einmal gestalten - jede Seite übernimmt sie."),
        'fr': ("Pages maîtres", "Créez une seule fois en-têtes, colonnes et numéros : toutes les pages suivent."),
        'cs': ("Vzorové stránky", "Záhlaví, sloupce a čísla stránek navrhnete jednou - převezmou je všechny stránky."),
    },
    52: {
        'en': ("Brilliant colour", "Spot and process colours, tints and blends - exactly as you want them printed."),
        'de': ("Brillante Farben", "Schmuck- und Prozessfarben, Tönungen und Verläufe - genau so, wie Sie sie drucken möchten."),
        'fr': ("Couleurs éclatantes", "Tons directs et quadrichromie, teintes et dégradés, fidèles à l'impression."),
        'cs': ("Zářivé barvy", "Přímé i procesní barvy, odstíny a přechody - přesně tak, jak je chcete vytisknout."),
    },
    53: {
        'en': ("Photo CD images", "Place photos straight from Photo CD, then crop and scale them on the page."),
        'de': ("Photo-CD-Bilder", "Fotos direkt von der Photo CD platzieren, zuschneiden und skalieren."),
        'fr': ("Images Photo CD", "Importez vos photos depuis un Photo CD, recadrez-les et ajustez leur taille."),
        'cs': ("Obrázky z Photo CD", "Vložte fotografie přímo z Photo CD, ořízněte je a upravte jejich velikost."),
    },
    54: {
        'en': ("Ready for print", "Proofs on your desktop printer, colour separations for the print shop."),
        'de': ("Druckfertig", "Probedrucke am eigenen Drucker, Farbauszüge für die Druckerei."),
        'fr': ("Prêt à imprimer", "Épreuves sur votre imprimante, séparations couleur pour l'imprimeur."),
        'cs': ("Připraveno k tisku", "Zkušební tisk na vaší tiskárně, barevné výtažky pro tiskárnu."),
    },
}

SIZES = {50: (300, 128), 51: (300, 128), 52: (290, 128), 53: (256, 150), 54: (256, 128)}
WIDER_CS = (51, 53)
BAND = {50: NAVY, 51: TEAL, 52: MAGENTA, 53: BLUE, 54: RED}


def art(img, bid, x, y, w, h):
    """The illustration of billboard bid inside the box (x, y, w, h)."""
    cx, cy = x + w // 2, y + h // 2
    if bid == 50:
        pixfont.draw_text(img, cx - 26, cy - 36, "Aa", NAVY, scale=5)
        img.rect(x + 6, y + h - 10, w - 12, 2, GOLD)
    elif bid == 51:
        for k in range(3):
            page(img, x + 4 + k * 9, y + 4 + k * 7, w - 30, h - 26, cols=2)
        img.rect(x + 25, y + 22, w - 36, 4, TEAL)
    elif bid == 52:
        colours = (RED, ORANGE, GOLD, GREEN, CYAN, BLUE, MAGENTA, NAVY)
        for i, c in enumerate(colours):
            a = i * 2 * math.pi / len(colours)
            img.disc(cx + 22 * math.cos(a), cy + 22 * math.sin(a), 11, c)
        img.disc(cx, cy, 9, WHITE)
    elif bid == 53:
        r = min(w, h) // 2 - 4
        ring = (RED, ORANGE, GOLD, GREEN, CYAN, BLUE, MAGENTA)
        for i, c in enumerate(ring):
            img.disc(cx, cy, r - i * (r - 8) / len(ring), c, r - (i + 1) * (r - 8) / len(ring))
        img.disc(cx, cy, 8, LGREY, 3)
        img.disc(cx, cy, r, GREY, r - 1)
    elif bid == 54:
        img.rect(x + 8, y + h // 2 - 4, w - 16, 26, GREY)
        img.rect(x + 8, y + h // 2 - 4, w - 16, 3, DGREY)
        img.rect(x + 18, y + 6, w - 36, h // 2 - 8, WHITE)
        img.frame(x + 18, y + 6, w - 36, h // 2 - 8, GREY)
        for ly in range(y + 11, y + h // 2 - 4, 4):
            img.rect(x + 22, ly, w - 46, 1, LGREY)
        img.rect(x + 22, y + 10, 10, 10, RED)
        img.rect(x + 34, y + 10, 10, 10, CYAN)
        img.rect(x + 46, y + 10, 10, 10, GOLD)
        img.rect(x + 18, y + h // 2 + 14, w - 36, 6, WHITE)
        img.set(x + w - 14, y + h // 2 + 4, GREEN)
        img.rect(x + w - 15, y + h // 2 + 3, 3, 3, GREEN)


def billboard(bid, lang):
    w, h = SIZES[bid]
    if lang == 'cs' and bid in WIDER_CS:
        w += 1
    head, body = TEXTS[bid][lang]
    img = Image(w, h, CREAM)
    art_w = 84
    text_w = w - art_w - 24
    head_lines = pixfont.wrap(head, w - 20, scale=2)
    band_h = 8 + len(head_lines) * 22
    img.rect(0, 0, w, band_h, BAND[bid])
    img.rect(0, band_h, w, 2, GOLD)
    for i, line in enumerate(head_lines):
        pixfont.draw_text(img, 11, 3 + i * 22, line, DGREY, scale=2)
        pixfont.draw_text(img, 10, 2 + i * 22, line, WHITE, scale=2)
    lines = pixfont.wrap(body, text_w)
    top = band_h + 6
    if top + len(lines) * 12 > h - 4:
        raise ValueError("billboard %d %s: text does not fit" % (bid, lang))
    for i, line in enumerate(lines):
        pixfont.draw_text(img, 10, top + i * 12, line, NAVY)
    art(img, bid, w - art_w - 4, band_h + 4, art_w, h - band_h - 8)
    img.frame(0, 0, w, h, GREY)
    return img


# ---- icons ----

def setup_icon(size):
    img = Image(size, size, 99)
    s = size / 32
    px = lambda v: round(v * s)  # noqa: E731
    img.polygon([(px(5), px(2)), (px(20), px(2)), (px(26), px(8)), (px(26), px(30)), (px(5), px(30))], WHITE)
    img.polygon([(px(20), px(2)), (px(26), px(8)), (px(20), px(8))], LGREY)
    for (a, b) in (((5, 2), (20, 2)), ((20, 2), (26, 8)), ((26, 8), (26, 30)), ((26, 30), (5, 30)), ((5, 30), (5, 2))):
        img.line(px(a[0]), px(a[1]), min(size - 1, px(b[0])), min(size - 1, px(b[1])), DGREY)
    if size >= 32:
        for ly in (11, 14, 17, 20):
            img.rect(8, ly, 12, 1, GREY)
    # the quill across the page, and the arrow that says "install"
    nib(img, px(9), px(26), px(22), -0.9)
    img.polygon([(px(18), px(18)), (px(31), px(18)), (px(24.5), px(27))], GREEN)
    img.rect(px(22), px(11), px(5), px(8), GREEN)
    return img


def alert_icon(kind, size):
    img = Image(size, size, 99)
    c = size / 2
    s = size / 32
    if kind == 'warning':
        img.polygon([(c, 1), (size - 1, size - 2), (1, size - 2)], BLACK)
        img.polygon([(c, 3 * s + 1), (size - 3 * s, size - 3 * s), (3 * s, size - 3 * s)], GOLD)
        img.rect(round(c - 1.5 * s), round(10 * s), max(1, round(3 * s)), round(10 * s), BLACK)
        img.rect(round(c - 1.5 * s), round(23 * s), max(1, round(3 * s)), round(3 * s), BLACK)
        return img
    img.disc(c, c, c - 0.5, DGREY)
    img.disc(c, c, c - 1.5, RED if kind == 'error' else BLUE)
    if kind == 'error':
        for d in range(-1, 2):
            img.line(round(9 * s) + d, round(9 * s), round(22 * s) + d, round(22 * s), WHITE)
            img.line(round(22 * s) + d, round(9 * s), round(9 * s) + d, round(22 * s), WHITE)
    else:
        scale = 3 if size >= 32 else 1
        pixfont.draw_text(img, round(c - 2.5 * scale), round(c - (pixfont.TOP + 3.5) * scale), "?", WHITE, scale=scale)
    return img


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out = os.path.join(root, 'res', 'pictures')
    os.makedirs(out, exist_ok=True)

    def write(name, data):
        with open(os.path.join(out, name), 'wb') as f:
            f.write(data)

    write('side.bmp', bmp_bytes(side_picture(), PAL16, 4))
    for bid, code in ((20, 'de'), (21, 'us'), (22, 'fr'), (23, 'nl'), (24, 'it'), (25, 'pl'), (26, 'cz')):
        write('flag%d.bmp' % bid, bmp_bytes(flag(code), FLAG_PAL, 4))
    img, palette = background()
    write('background.bmp', bmp_bytes(img, palette, 8))
    for bid in SIZES:
        for lang in ('en', 'de', 'fr', 'cs'):
            write('billboard%d_%s.bmp' % (bid, lang), bmp_bytes(billboard(bid, lang), PAL16, 4))
    write('setup.ico', ico_bytes([setup_icon(32), setup_icon(16)], PAL16, 99))
    for name, kind in (('alert_question', 'question'), ('alert_error', 'error'), ('alert_warning', 'warning')):
        write(name + '.ico', ico_bytes([alert_icon(kind, 32), alert_icon(kind, 16)], PAL16, 99))


if __name__ == '__main__':
    main()
