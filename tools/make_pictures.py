#!/usr/bin/python3
"""Draws the setup program's pictures and icons with Pillow and the Debian
fonts, and writes them as BMP and ICO files into res/pictures/.

  make_pictures.py            writes the files
  make_pictures.py --check    writes nothing; fails when a committed file
                              differs from what this script draws now

Everything is drawn SCALE times larger and shrunk, so edges and type come
out anti-aliased, then mapped without dithering onto a palette of its own
(16 colours for 4-bit pictures and icons, a 256-step ramp for the
background). With the same Pillow, FreeType and fonts (one Debian release)
the output is the same bytes on every run."""

import math
import os
import re
import struct
import sys

try:
    from PIL import Image, ImageChops, ImageDraw, ImageFont, features
except ImportError:
    sys.exit("make_pictures.py: needs Pillow (Debian python3-pil, run by /usr/bin/python3)")

SCALE = 4
FONT_DIRS = ("/usr/share/fonts/truetype/liberation", "/usr/share/fonts/truetype/dejavu")
SERIF_BOLD = "LiberationSerif-Bold.ttf"
SERIF = "LiberationSerif-Regular.ttf"
SANS = "LiberationSans-Regular.ttf"
SANS_BOLD = "DejaVuSans-Bold.ttf"


def font(name, px, scale=SCALE):
    for d in FONT_DIRS:
        path = os.path.join(d, name)
        if os.path.exists(path):
            return ImageFont.truetype(path, round(px * scale), layout_engine=ImageFont.Layout.RAQM)
    sys.exit("make_pictures.py: font %s missing (Debian fonts-liberation, fonts-dejavu-core)" % name)


# ---- drawing at a larger scale ----

class Canvas:
    """A picture drawn `scale` times larger in final-pixel coordinates;
    shrink() gives it at its final size with anti-aliased edges."""

    def __init__(self, w, h, fill, scale=SCALE, mode="RGB"):
        self.w, self.h, self.s = w, h, scale
        self.im = Image.new(mode, (w * scale, h * scale), fill)
        self.draw = ImageDraw.Draw(self.im)

    def _xy(self, pts):
        return [(x * self.s, y * self.s) for x, y in pts]

    def rect(self, x, y, w, h, fill):
        s = self.s
        self.draw.rectangle([x * s, y * s, (x + w) * s - 1, (y + h) * s - 1], fill=fill)

    def polygon(self, pts, fill):
        self.draw.polygon(self._xy(pts), fill=fill)

    def ellipse(self, cx, cy, rx, ry, fill):
        s = self.s
        self.draw.ellipse([(cx - rx) * s, (cy - ry) * s, (cx + rx) * s - 1, (cy + ry) * s - 1], fill=fill)

    def line(self, pts, fill, width):
        self.draw.line(self._xy(pts), fill=fill, width=max(1, round(width * self.s)), joint="curve")

    def text(self, x, y, text, fnt, fill, anchor="ls"):
        self.draw.text((x * self.s, y * self.s), text, font=fnt, fill=fill, anchor=anchor)

    def shrink(self):
        return self.im.reduce(self.s)


def width_of(text, fnt, scale=SCALE):
    return fnt.getlength(text) / scale


def mix(a, b, t):
    """Colour a blended toward b by t (0..1)."""
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def blends(a, b, n):
    """n evenly spaced colours strictly between a and b."""
    return [mix(a, b, k / (n + 1)) for k in range(1, n + 1)]


def rotate(cx, cy, angle):
    """A mapping from local (u, v) around (cx, cy), turned by angle radians."""
    ca, sa = math.cos(angle), math.sin(angle)
    return lambda u, v: (cx + u * ca - v * sa, cy + u * sa + v * ca)


def indexed(img, palette):
    """The RGB picture as palette indices, each pixel the nearest colour
    (no dithering: text edges keep their blend shades, flat areas stay flat)."""
    cache = {}
    out = []
    for px in img.getdata():
        i = cache.get(px)
        if i is None:
            r, g, b = px[:3]
            i = cache[px] = min(range(len(palette)), key=lambda k: 2 * (r - palette[k][0]) ** 2
                                + 4 * (g - palette[k][1]) ** 2 + 3 * (b - palette[k][2]) ** 2)
        out.append(i)
    p = Image.new("P", img.size)
    p.putdata(out)
    return p


# ---- file formats ----
# Pillow writes palette BMPs at 8 bits only and icons at 8 or 32, so the
# headers of the 4-bit files are packed here; Pillow packs the pixel rows.

def dib(img, palette, bits, mask=None):
    """Header, colour table and bottom-up rows of a palette picture; with a
    mask ("1" image, set where transparent) the icon form: double height and
    the AND mask after the rows."""
    w, h = img.size
    assert len(palette) <= 1 << bits
    table = list(palette) + [(0, 0, 0)] * ((1 << bits) - len(palette))
    stride = ((w * bits + 31) // 32) * 4
    rows = img.tobytes("raw", ("P;4" if bits == 4 else "P", stride, -1))
    if mask is not None:
        rows += mask.tobytes("raw", ("1", ((w + 31) // 32) * 4, -1))
    ppm = 0 if mask is not None else 2835
    header = struct.pack("<IiiHHIIiiII", 40, w, h * (2 if mask is not None else 1), 1, bits, 0,
                         len(rows), ppm, ppm, 0, 0)
    return header + b"".join(struct.pack("BBBB", b, g, r, 0) for (r, g, b) in table) + rows


def bmp_bytes(img, palette, bits):
    data = dib(img, palette, bits)
    offset = 14 + 40 + 4 * (1 << bits)
    return struct.pack("<2sIHHI", b"BM", 14 + len(data), 0, 0, offset) + data


def ico_bytes(images):
    """4-bit icon images, each (indexed picture, palette, mask)."""
    blobs = [dib(img, pal, 4, mask) for img, pal, mask in images]
    offset = 6 + 16 * len(images)
    entries = b""
    for (img, _, _), blob in zip(images, blobs):
        entries += struct.pack("<BBBBHHII", img.width, img.height, 16, 0, 1, 4, len(blob), offset)
        offset += len(blob)
    return struct.pack("<HHH", 0, 1, len(images)) + entries + b"".join(blobs)


# ---- shared colours ----

PAPER = (251, 247, 237)
INK = (38, 42, 54)
WHITE = (255, 255, 255)
BLACK = (0, 0, 0)
NAVY = (27, 40, 92)
BLUE = (44, 92, 176)
SKY = (150, 190, 232)
TEAL = (0, 128, 128)
GOLD = (236, 178, 44)
GOLD_DARK = (166, 110, 22)
GREEN = (52, 150, 88)
RED = (200, 30, 46)
LGREY = (208, 210, 214)
GREY = (140, 144, 152)
DGREY = (72, 76, 86)
CYAN = (0, 160, 220)
MAGENTA = (220, 0, 130)
YELLOW = (255, 225, 0)


def text_page(c, at, w, h, head=None, picture=False):
    """A printed page in local coordinates `at` (origin top-left of the page):
    shadow, sheet, columns of text lines, optional headline bar and picture."""
    c.polygon([at(1.5, 1.5), at(w + 1.5, 1.5), at(w + 1.5, h + 1.5), at(1.5, h + 1.5)], DGREY)
    c.polygon([at(0, 0), at(w, 0), at(w, h), at(0, h)], WHITE)
    m = w * 0.1
    top = m
    if head is not None:
        c.polygon([at(m, m), at(w - m, m), at(w - m, m + h * 0.05), at(m, m + h * 0.05)], head)
        top = m + h * 0.1
    if picture:
        ph = h * 0.22
        c.polygon([at(m, top), at(w - m, top), at(w - m, top + ph), at(m, top + ph)], SKY)
        sx, sy = w * 0.32, top + ph * 0.4
        c.polygon([at(sx + math.cos(a) * ph * 0.18, sy + math.sin(a) * ph * 0.18)
                   for a in [k * math.pi / 8 for k in range(16)]], GOLD)
        c.polygon([at(m, top + ph), at(w * 0.4, top + ph * 0.45), at(w * 0.7, top + ph)], GREEN)
        c.polygon([at(w * 0.5, top + ph), at(w * 0.72, top + ph * 0.35), at(w - m, top + ph * 0.8),
                   at(w - m, top + ph)], TEAL)
        top += ph + h * 0.05
    cols = 2
    colw = (w - 3 * m) / cols
    lh = max(1.6, h * 0.045)
    for col in range(cols):
        x = m + col * (colw + m)
        y, k = top, col
        while y + lh * 0.5 < h - m:
            ln = colw * (0.6 if k % 5 == 4 else 1.0)
            c.polygon([at(x, y), at(x + ln, y), at(x + ln, y + lh * 0.5), at(x, y + lh * 0.5)], LGREY)
            y += lh
            k += 1


def nib(c, tip_x, tip_y, size, angle, body=GOLD, shade=GOLD_DARK, edge=DGREY):
    """A pen nib with its tip at (tip_x, tip_y), pointing against `angle`."""
    at = rotate(tip_x, tip_y, angle)
    s = size
    outline = [at(0, 0), at(0.5 * s, -0.3 * s), at(0.92 * s, -0.27 * s), at(s, -0.18 * s),
               at(s, 0.18 * s), at(0.92 * s, 0.27 * s), at(0.5 * s, 0.3 * s)]
    c.polygon([at(-0.02 * s, 0)] + outline[1:], edge)
    inner = [at(0.03 * s, 0), at(0.5 * s, -0.27 * s), at(0.91 * s, -0.245 * s), at(0.975 * s, -0.16 * s),
             at(0.975 * s, 0.16 * s), at(0.91 * s, 0.245 * s), at(0.5 * s, 0.27 * s)]
    c.polygon(inner, body)
    c.polygon([at(0.03 * s, 0), at(0.5 * s, 0.27 * s), at(0.91 * s, 0.245 * s), at(0.975 * s, 0.16 * s),
               at(0.975 * s, 0)], shade)
    c.line([at(0.04 * s, 0), at(0.5 * s, 0)], edge, max(0.6, s * 0.025))
    hx, hy = at(0.53 * s, 0)
    c.ellipse(hx, hy, s * 0.065, s * 0.065, edge)


# ---- side picture ----

SIDE_PAL = [NAVY, (36, 62, 130), BLUE, TEAL, (0, 96, 104), WHITE, PAPER, LGREY, GREY, DGREY,
            GOLD, GOLD_DARK, SKY, GREEN, RED, (20, 26, 52)]


def side_picture():
    w, h = 119, 261
    c = Canvas(w, h, NAVY)
    # broad diagonal bands, flat colour, in the manner of a printed poster
    c.polygon([(-10, 140), (130, 20), (130, 95), (-10, 215)], SIDE_PAL[1])
    c.polygon([(-10, 215), (130, 95), (130, 170), (-10, 290)], BLUE)
    c.polygon([(-10, 290), (130, 170), (130, 300), (-10, 300)], TEAL)
    c.polygon([(-10, 262), (130, 205), (130, 214), (-10, 271)], SIDE_PAL[4])
    text_page(c, rotate(16, 12, -0.10), 58, 78)
    text_page(c, rotate(34, 35, 0.03), 58, 78, head=GREY)
    text_page(c, rotate(49, 63, 0.12), 58, 80, head=NAVY, picture=True)
    # colour swatches with white rims
    for i, colour in enumerate((RED, GOLD, GREEN, SKY, TEAL)):
        c.ellipse(20 + i * 19.5, 162, 7.5, 7.5, WHITE)
        c.ellipse(20 + i * 19.5, 162, 6, 6, colour)
    # The page control shows 220 to 244 rows, depending on the dialog font:
    # below that the picture is only background.
    nib(c, 16, 219, 46, -0.78)
    c.line([(15, 220), (8, 223), (1, 222)], PAPER, 1.2)
    return indexed(c.shrink(), SIDE_PAL), SIDE_PAL


# ---- flags ----

def flag(code):
    """A 32 x 18 flag with a grey outline and a palette of its own colours
    and the shades between them."""
    white = WHITE
    c = Canvas(32, 18, white)
    if code == "de":
        colours = [BLACK, (221, 0, 0), (255, 206, 0)]
        for i, col in enumerate(colours):
            c.rect(0, i * 6, 32, 6, col)
    elif code == "us":
        red, blue = (178, 34, 52), (60, 59, 110)
        colours = [red, white, blue]
        for k in range(9):
            c.rect(0, k * 2, 32, 2, red if k % 2 == 0 else white)
        c.rect(0, 0, 14, 10, blue)
        for row in range(4):
            for col in range(5 - row % 2):
                c.ellipse(1.9 + col * 2.6 + (row % 2) * 1.3, 1.6 + row * 2.3, 0.55, 0.55, white)
    elif code == "fr":
        colours = [(0, 85, 164), white, (239, 65, 53)]
        c.rect(0, 0, 11, 18, colours[0])
        c.rect(21, 0, 11, 18, colours[2])
    elif code == "nl":
        colours = [(174, 28, 40), white, (33, 70, 139)]
        c.rect(0, 0, 32, 6, colours[0])
        c.rect(0, 12, 32, 6, colours[2])
    elif code == "it":
        colours = [(0, 146, 70), white, (206, 43, 55)]
        c.rect(0, 0, 11, 18, colours[0])
        c.rect(21, 0, 11, 18, colours[2])
    elif code == "pl":
        colours = [white, (220, 20, 60)]
        c.rect(0, 9, 32, 9, colours[1])
    else:  # cz
        blue = (17, 69, 126)
        colours = [white, (215, 20, 26), blue]
        c.rect(0, 9, 32, 9, colours[1])
        c.polygon([(0, 0), (16, 9), (0, 18)], blue)
    img = c.shrink()
    ImageDraw.Draw(img).rectangle([0, 0, 31, 17], outline=(128, 128, 128))
    palette = [(128, 128, 128)] + colours
    for i in range(len(colours)):
        for j in range(i + 1, len(colours)):
            palette += blends(colours[i], colours[j], 2)
    return indexed(img, palette[:16]), palette[:16]


# ---- background ----

def background():
    """Light warm paper at the top left deepening to navy at the bottom
    right, translucent sheets drifting across the lower right and an
    ampersand watermarked into the lower left."""
    stops = [(0.0, (252, 249, 240)), (0.30, (226, 234, 244)), (0.55, (160, 190, 228)),
             (0.80, (60, 98, 170)), (1.0, (18, 28, 72))]

    def colour(t):
        for (ta, ca), (tb, cb) in zip(stops, stops[1:]):
            if t <= tb:
                return mix(ca, cb, (t - ta) / (tb - ta))
        return stops[-1][1]

    # Ramp level k is stored at index k ^ (k >> 1): neighbouring levels then
    # differ in one bit, so a stretch that ANDs neighbouring indices yields
    # one of the two instead of a stray colour.
    palette = [None] * 256
    for k in range(256):
        palette[k ^ (k >> 1)] = colour(k / 255)
    W, H = 700, 525
    # Each sheet lightens what lies under it by 15 ramp steps, its rim by 13 more.
    shade = Image.new("L", (W, H), 0)
    for k in range(5):
        at = rotate(430 + k * 55, 250 + k * 48, -0.35 + k * 0.12)
        layer = Canvas(W, H, 0, mode="L")
        layer.polygon([at(-75, -100), at(75, -100), at(75, 100), at(-75, 100)], 28)
        layer.polygon([at(-73, -98), at(73, -98), at(73, 98), at(-73, 98)], 15)
        shade = ImageChops.add(shade, layer.shrink())
    # and a large italic ampersand, watermarked into the lower left
    layer = Canvas(W, H, 0, mode="L")
    layer.text(70, 500, "&", font("LiberationSerif-Italic.ttf", 300), 12)
    shade = ImageChops.add(shade, layer.shrink())
    levels = []
    for y in range(H):
        fy = y / (H - 1)
        for x in range(W):
            fx = x / (W - 1)
            t = 0.58 * fx * fx + 0.55 * fy * fy + 0.18 * fx * fy
            t += 0.045 * math.sin(fx * 9.0 + fy * 5.0) * min(1.0, t * 1.5)
            levels.append(min(255, max(0, round(t * 255))))
    img = Image.new("L", (W, H))
    img.putdata(levels)
    # No dithering: a shrinking stretch in the default mode ANDs
    # neighbouring pixels, which turns dithered areas into speckles.
    img = ImageChops.subtract(img, shade).point([k ^ (k >> 1) for k in range(256)])
    return Image.frombytes("P", (W, H), img.tobytes()), palette


# ---- billboards ----

TEXTS = {
    50: {
        "en": ("Perfect typography", "Kerning, ligatures and fine spacing give every page a professional look."),
        "de": ("Perfekte Typografie", "Unterschneidung, Ligaturen und feiner Satz geben jeder Seite ein professionelles Aussehen."),
        "fr": ("Typographie parfaite", "Crénage, ligatures et espacement précis donnent à chaque page un aspect professionnel."),
        "cs": ("Dokonalá typografie", "Vyrovnání párů, ligatury a jemné mezery dodají každé stránce profesionální vzhled."),
    },
    51: {
        "en": ("Master pages", "Design headers, columns and page numbers once\u00a0\u2013 every page follows them."),
        "de": ("Musterseiten", "Kopfzeilen, Spalten und Seitenzahlen nur einmal gestalten\u00a0\u2013 jede Seite übernimmt sie."),
        "fr": ("Pages maîtres", "Créez une seule fois en-têtes, colonnes et numéros\u202f: toutes les pages suivent."),
        "cs": ("Vzorové stránky", "Záhlaví, sloupce a čísla stránek navrhnete jednou\u00a0\u2013 převezmou je všechny stránky."),
    },
    52: {
        "en": ("Brilliant colour", "Spot and process colours, tints and blends\u00a0\u2013 exactly as you want them printed."),
        "de": ("Brillante Farben", "Schmuck- und Prozessfarben, Tönungen und Verläufe\u00a0\u2013 genau so, wie Sie sie drucken möchten."),
        "fr": ("Couleurs éclatantes", "Tons directs et quadrichromie, teintes et dégradés, fidèles à l\u2019impression."),
        "cs": ("Zářivé barvy", "Přímé i procesní barvy, odstíny a přechody\u00a0\u2013 přesně tak, jak je chcete vytisknout."),
    },
    53: {
        "en": ("Photo CD images", "Place photos straight from Photo CD, then crop and scale them on the page."),
        "de": ("Photo-CD-Bilder", "Fotos direkt von der Photo CD platzieren, zuschneiden und skalieren."),
        "fr": ("Images Photo CD", "Importez vos photos depuis un Photo CD, recadrez-les et ajustez leur taille."),
        "cs": ("Obrázky z Photo CD", "Vložte fotografie přímo z Photo CD, ořízněte je a upravte jejich velikost."),
    },
    54: {
        "en": ("Ready for print", "Proofs on your desktop printer, colour separations for the print shop."),
        "de": ("Druckfertig", "Probedrucke am eigenen Drucker, Farbauszüge für die Druckerei."),
        "fr": ("Prêt à imprimer", "Épreuves sur votre imprimante, séparations couleur pour l\u2019imprimeur."),
        "cs": ("Připraveno k tisku", "Zkušební tisk na vaší tiskárně, barevné výtažky pro tiskárnu."),
    },
}

SIZES = {50: (300, 128), 51: (300, 128), 52: (290, 128), 53: (256, 150), 54: (256, 128)}
WIDER_CS = (51, 53)
# The colour of each billboard's headline and rule, and the colours its
# illustration needs besides paper, ink and white.
THEME = {
    50: (NAVY, [GOLD, SKY, (226, 230, 240), GREY]),
    51: ((0, 104, 112), [LGREY, GREY, DGREY, GOLD, SKY]),
    52: ((150, 20, 100), [CYAN, MAGENTA, YELLOW, (30, 40, 150), (230, 30, 36), (0, 150, 70), (30, 30, 36)]),
    53: ((34, 78, 160), [LGREY, GREY, SKY, GOLD, GREEN, (196, 150, 220), (236, 120, 120)]),
    54: ((176, 28, 40), [LGREY, GREY, CYAN, MAGENTA, YELLOW, (30, 30, 36)]),
}
HEAD_PX, BODY_PX, LEADING = 21, 13, 16
MARGIN = 12


def wrap(text, fnt, width):
    """The fewest lines no wider than width, broken so that their lengths
    come out as even as possible: a calm ragged edge, and no last line
    left with one short word."""
    # A one-letter word (a preposition in Czech or French) and a product
    # name stay with what follows them.
    text = re.sub(r"(?<!\S)(\w) ", "\\1\u00a0", text).replace("Photo CD", "Photo\u00a0CD")
    words = text.split(" ")
    n = len(words)

    def span(i, j):
        return width_of(" ".join(words[i:j]), fnt)

    for count in range(1, n + 1):
        # best[j][k]: least squared slack setting the first j words in k lines
        best = {(0, 0): (0.0, None)}
        for k in range(1, count + 1):
            for j in range(1, n + 1):
                for i in range(j):
                    prev = best.get((i, k - 1))
                    if prev is None:
                        continue
                    wd = span(i, j)
                    if wd > width:
                        continue
                    cost = prev[0] + (width - wd) ** 2 * (1 if j < n else 0.5)
                    if (j, k) not in best or cost < best[(j, k)][0]:
                        best[(j, k)] = (cost, i)
        if (n, count) in best:
            lines, j = [], n
            for k in range(count, 0, -1):
                i = best[(j, k)][1]
                lines.insert(0, " ".join(words[i:j]))
                j = i
            return lines
    raise ValueError("a word wider than %d: %r" % (width, text))


def billboard_art(c, bid, x, y, w, h, theme, extra):
    cx, cy = x + w / 2, y + h / 2
    if bid == 50:
        # a type specimen: serif letters on their guide lines
        fnt = font(SERIF, 58)
        base = y + h * 0.74
        for gy, col in ((base, theme), (base - 26, extra[1]), (base - 39, extra[1]), (base + 13, extra[1])):
            c.rect(x, gy, w, 0.75, col)
        c.text(cx, base, "Ag", fnt, theme, anchor="ms")
        c.rect(cx - 0.5, y + 2, 0.9, h - 4, extra[0])
    elif bid == 51:
        for k in range(3):
            at = rotate(x + 6 + k * 10, y + 2 + k * 7, 0)
            text_page(c, at, w - 34, h - 20, head=theme if k == 2 else GREY)
    elif bid == 52:
        # process inks overprinting: cyan, magenta and yellow discs and
        # the colours where they meet
        r = min(w, h) * 0.29
        cyan, magenta, yellow = extra[:3]
        centres = [(cx + r * 0.58 * math.cos(a), cy + 2 + r * 0.58 * math.sin(a))
                   for a in (-math.pi / 2, math.pi / 6, 5 * math.pi / 6)]
        inks = [cyan, magenta, yellow]
        layer = Image.new("RGB", c.im.size, WHITE)
        for (ex, ey), ink in zip(centres, inks):
            disc = Canvas(c.w, c.h, WHITE, scale=c.s)
            disc.ellipse(ex, ey, r, r, ink)
            layer = ImageChops.multiply(layer, disc.im)
        mask = Canvas(c.w, c.h, 0, scale=c.s, mode="L")
        for ex, ey in centres:
            mask.ellipse(ex, ey, r, r, 255)
        c.im.paste(layer, (0, 0), mask.im)
    elif bid == 53:
        # a disc and a photograph laid across it
        r = min(w, h) * 0.42
        dx, dy = x + r + 2, cy - 4
        c.ellipse(dx, dy, r, r, extra[1])
        c.ellipse(dx, dy, r - 1, r - 1, extra[0])
        c.ellipse(dx, dy, r * 0.8, r * 0.8, extra[5])
        c.ellipse(dx, dy, r * 0.55, r * 0.55, extra[2])
        c.ellipse(dx, dy, r * 0.3, r * 0.3, extra[0])
        c.ellipse(dx, dy, r * 0.12, r * 0.12, PAPER)
        at = rotate(x + w - 30, y + h - 30, -0.14)
        pw, ph = 52, 40
        c.polygon([at(-pw / 2 + 1.5, -ph / 2 + 1.5), at(pw / 2 + 1.5, -ph / 2 + 1.5),
                   at(pw / 2 + 1.5, ph / 2 + 1.5), at(-pw / 2 + 1.5, ph / 2 + 1.5)], DGREY)
        c.polygon([at(-pw / 2, -ph / 2), at(pw / 2, -ph / 2), at(pw / 2, ph / 2), at(-pw / 2, ph / 2)], WHITE)
        m = 3.5
        c.polygon([at(-pw / 2 + m, -ph / 2 + m), at(pw / 2 - m, -ph / 2 + m), at(pw / 2 - m, ph / 2 - m),
                   at(-pw / 2 + m, ph / 2 - m)], extra[2])
        c.polygon([at(8 + 5 * math.cos(a), -7 + 5 * math.sin(a)) for a in [k * math.pi / 10 for k in range(20)]],
                  extra[3])
        c.polygon([at(-pw / 2 + m, ph / 2 - m), at(-8, -2), at(6, ph / 2 - m)], extra[4])
        c.polygon([at(-4, ph / 2 - m), at(10, 4), at(pw / 2 - m, ph / 2 - m)], theme)
    elif bid == 54:
        # a trimmed page with its crop marks, a registration mark and a colour bar
        sx, sy, sw, sh = x + 12, y + 6, w - 24, h - 12
        c.rect(sx + 1.5, sy + 1.5, sw, sh, extra[1])
        c.rect(sx, sy, sw, sh, WHITE)
        for (px, py, dx, dy) in ((sx, sy, -1, -1), (sx + sw, sy, 1, -1), (sx, sy + sh, -1, 1), (sx + sw, sy + sh, 1, 1)):
            c.line([(px, py + dy * 2), (px, py + dy * 7)], INK, 0.5)
            c.line([(px + dx * 2, py), (px + dx * 7, py)], INK, 0.5)
        rx, ry, rr = sx + sw / 2, sy + 13, 6.5
        c.ellipse(rx, ry, rr, rr, INK)
        c.ellipse(rx, ry, rr - 0.8, rr - 0.8, WHITE)
        c.ellipse(rx, ry, rr * 0.45, rr * 0.45, INK)
        c.line([(rx - rr - 3, ry), (rx + rr + 3, ry)], INK, 0.5)
        c.line([(rx, ry - rr - 3), (rx, ry + rr + 3)], INK, 0.5)
        for i in range(4):
            c.rect(sx + 7, sy + 26 + i * 4.5, sw - 14 - (9 if i == 3 else 0), 1.6, extra[0])
        bar = [extra[2], extra[3], extra[4], extra[5]]
        bw = (sw - 14) / 4
        for i, col in enumerate(bar):
            c.rect(sx + 7 + i * bw, sy + sh - 13, bw, 7, col)


def billboard(bid, lang):
    w, h = SIZES[bid]
    if lang == "cs" and bid in WIDER_CS:
        w += 1
    head, body = TEXTS[bid][lang]
    theme, extra = THEME[bid]
    c = Canvas(w, h, PAPER)
    c.rect(0, 0, w, 5, theme)
    hf = font(SERIF_BOLD, HEAD_PX)
    if width_of(head, hf) > w - 2 * MARGIN:
        raise ValueError("billboard %d %s: headline too wide" % (bid, lang))
    c.text(MARGIN, 29, head, hf, theme)
    c.rect(MARGIN, 36, w - 2 * MARGIN, 1, mix(theme, PAPER, 0.45))
    art_w = 74 + (w - 256) // 4
    bf = font(SANS, BODY_PX)
    text_w = w - art_w - 2 * MARGIN - 8
    lines = wrap(body, bf, text_w)
    top = 55
    if top + (len(lines) - 1) * LEADING + 4 > h - MARGIN:
        raise ValueError("billboard %d %s: text does not fit" % (bid, lang))
    for i, line in enumerate(lines):
        c.text(MARGIN, top + i * LEADING, line, bf, INK)
    billboard_art(c, bid, w - art_w - MARGIN + 4, 44, art_w, h - 44 - 8, theme, extra)
    palette = [PAPER, INK] + blends(INK, PAPER, 3) + [theme] + blends(theme, PAPER, 2) + [WHITE] + extra
    return indexed(c.shrink(), palette[:16]), palette[:16]


# ---- icons ----

ICON_GREY = (192, 192, 192)


def icon(draw, size):
    """An icon image drawn by draw(canvas, unit) on a 32-unit grid: colours
    blend toward the dialog grey at the outline, the mask is where the
    drawing covers at least half a pixel."""
    s = 16 if size <= 16 else 8
    c = Canvas(size, size, (0, 0, 0, 0), scale=s, mode="RGBA")
    palette = draw(c, size / 32)
    big = c.im
    rgb = Image.alpha_composite(Image.new("RGBA", big.size, ICON_GREY + (255,)), big).convert("RGB").reduce(s)
    cover = big.getchannel("A").reduce(s)
    mask = cover.point(lambda a: 255 if a < 128 else 0).convert("1")
    palette = [BLACK] + palette
    img = indexed(rgb, palette)
    # masked pixels carry colour 0, black, so the screen shows through unchanged
    img.paste(0, (0, 0), mask.convert("L"))
    return img, palette, mask


def setup_icon(c, u):
    """A written page and the green arrow of installing; the pen only where
    there is room for it."""
    dark_green = (28, 110, 60)
    c.polygon([(4 * u, 1 * u), (18 * u, 1 * u), (24 * u, 7 * u), (24 * u, 28 * u), (4 * u, 28 * u)], DGREY)
    e = max(1.0, u)  # the outline stays a whole pixel at 16 x 16
    c.polygon([(4 * u + e, u + e), (18 * u - 0.4 * e, u + e), (24 * u - e, 7 * u + 0.4 * e), (24 * u - e, 28 * u - e),
               (4 * u + e, 28 * u - e)], WHITE)
    c.polygon([(18 * u - 0.4 * e, u + e), (24 * u - e, 7 * u + 0.4 * e), (18 * u - 0.4 * e, 7 * u + 0.4 * e)], LGREY)
    if u >= 1:
        for ly in (6, 10, 14, 18, 22):
            c.rect(8 * u, ly * u, (8 if ly == 6 else 12 if ly < 18 else 7) * u, 1.5 * u, GREY)
        nib(c, 8 * u, 25 * u, 17 * u, -0.95)
    arrow = [(22 * u, 11 * u), (29 * u, 11 * u), (29 * u, 20 * u), (32 * u, 20 * u), (25.5 * u, 30 * u),
             (19 * u, 20 * u), (22 * u, 20 * u)]
    c.polygon(arrow, dark_green)
    inset = [(23 * u, 12 * u), (28 * u, 12 * u), (28 * u, 21 * u), (30 * u, 21 * u), (25.5 * u, 28.2 * u),
             (21 * u, 21 * u), (23 * u, 21 * u)]
    c.polygon(inset, GREEN)
    return [WHITE, LGREY, GREY, DGREY, ICON_GREY, GOLD, GOLD_DARK, GREEN, dark_green,
            mix(GREEN, ICON_GREY, 0.5), mix(DGREY, ICON_GREY, 0.5), mix(GOLD, WHITE, 0.5), mix(GREY, WHITE, 0.5)]


def alert_icon(kind):
    def draw(c, u):
        if kind == "warning":
            tri = [(16 * u, 1 * u), (31.5 * u, 29.5 * u), (0.5 * u, 29.5 * u)]
            c.polygon(tri, INK)
            c.polygon([(16 * u, 4 * u), (29 * u, 28 * u), (3 * u, 28 * u)], GOLD)
            c.text(16 * u, 26.5 * u, "!", font(SANS_BOLD, 19 * u, c.s), INK, anchor="ms")
            return [GOLD, INK, mix(GOLD, INK, 0.33), mix(GOLD, INK, 0.66), GOLD_DARK, WHITE, ICON_GREY,
                    mix(INK, ICON_GREY, 0.5)]
        face = RED if kind == "error" else BLUE
        c.ellipse(16 * u, 16 * u, 15.3 * u, 15.3 * u, mix(face, BLACK, 0.45))
        c.ellipse(16 * u, 16 * u, 14.1 * u, 14.1 * u, face)
        if kind == "error":
            c.line([(10 * u, 10 * u), (22 * u, 22 * u)], WHITE, 3.4 * u)
            c.line([(22 * u, 10 * u), (10 * u, 22 * u)], WHITE, 3.4 * u)
        else:
            c.text(16 * u, 24 * u, "?", font(SANS_BOLD, 22 * u, c.s), WHITE, anchor="ms")
        return [face, mix(face, BLACK, 0.45), WHITE] + blends(face, WHITE, 3) + \
            [ICON_GREY, mix(face, ICON_GREY, 0.5), mix(mix(face, BLACK, 0.45), ICON_GREY, 0.5)]
    return draw


# ---- output ----

LANGUAGES = ("en", "de", "fr", "cs")


def pictures():
    """Every file: name and bytes."""
    if not features.check("raqm"):
        sys.exit("make_pictures.py: Pillow without libraqm lays out text without kerning")
    side, pal = side_picture()
    yield "side.bmp", bmp_bytes(side, pal, 4)
    for bid, code in ((20, "de"), (21, "us"), (22, "fr"), (23, "nl"), (24, "it"), (25, "pl"), (26, "cz")):
        img, pal = flag(code)
        yield "flag%d.bmp" % bid, bmp_bytes(img, pal, 4)
    img, pal = background()
    yield "background.bmp", bmp_bytes(img, pal, 8)
    for bid in SIZES:
        for lang in LANGUAGES:
            img, pal = billboard(bid, lang)
            yield "billboard%d_%s.bmp" % (bid, lang), bmp_bytes(img, pal, 4)
    yield "setup.ico", ico_bytes([icon(setup_icon, 32), icon(setup_icon, 16)])
    for name, kind in (("alert_question", "question"), ("alert_error", "error"), ("alert_warning", "warning")):
        yield name + ".ico", ico_bytes([icon(alert_icon(kind), 32), icon(alert_icon(kind), 16)])


def main(argv):
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out = os.path.join(root, "res", "pictures")
    check = argv[1:] == ["--check"]
    if argv[1:] and not check:
        print(__doc__, file=sys.stderr)
        return 2
    stale = []
    for name, data in pictures():
        path = os.path.join(out, name)
        if check:
            try:
                with open(path, "rb") as f:
                    same = f.read() == data
            except OSError:
                same = False
            if not same:
                stale.append(name)
        else:
            os.makedirs(out, exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
    if stale:
        print("make_pictures.py: these pictures differ from what the script draws; run it and commit them:\n  "
              + "\n  ".join(stale), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
