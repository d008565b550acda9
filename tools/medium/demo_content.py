#!/usr/bin/env python3
"""Writes the demo medium's staging tree from generated content.

  demo_content.py --programs DIR --staging DIR

--programs is the build's demo-content directory (quillon.exe, lumen.exe,
uinstall.exe, inst/...). Everything else is made up here, deterministically,
so two runs give the same bytes and so the same catalogues.
"""
import argparse
import shutil
import struct
import sys
from pathlib import Path

PROSE = {
    "USA": [
        "Quillon lays out pages, columns and pictures for print.",
        "Every sample on this disc may be opened, changed and saved under a new name.",
        "Styles keep headings and body text consistent across a long document.",
        "Master pages carry the elements that repeat on every page.",
        "Text flows from frame to frame until the story ends.",
        "Colours are mixed from lists or defined by their components.",
    ],
    "FRG": [
        "Quillon setzt Seiten, Spalten und Bilder für den Druck.",
        "Jedes Beispiel auf dieser CD lässt sich öffnen, ändern und unter neuem Namen sichern.",
        "Formatvorlagen halten Überschriften und Grundtext eines langen Dokuments einheitlich.",
        "Musterseiten tragen die Elemente, die auf jeder Seite wiederkehren.",
        "Der Text fließt von Rahmen zu Rahmen, bis der Artikel endet.",
        "Farben werden aus Listen gewählt oder aus ihren Anteilen gemischt.",
    ],
    "FRA": [
        "Quillon met en page colonnes, textes et images pour l'impression.",
        "Chaque exemple de ce disque peut être ouvert, modifié et enregistré sous un autre nom.",
        "Les styles gardent titres et texte courant homogènes dans un long document.",
        "Les pages maîtres portent les éléments qui se répètent sur chaque page.",
        "Le texte passe d'un cadre à l'autre jusqu'à la fin de l'article.",
        "Les couleurs sont choisies dans des listes ou définies par leurs composantes.",
    ],
}

README_TITLE = {
    "USA": "Quillon demo: read me first",
    "FRG": "Quillon-Demo: bitte zuerst lesen",
    "FRA": "Démo Quillon : à lire en premier",
}

COLOURS = {
    "USA": ["red", "green", "blue", "yellow", "black", "white", "orange", "violet"],
    "FRG": ["Rot", "Grün", "Blau", "Gelb", "Schwarz", "Weiß", "Orange", "Violett"],
    "FRA": ["rouge", "vert", "bleu", "jaune", "noir", "blanc", "orange", "violet"],
}

HYPHENATION = {
    "USA": ["pub-lish-ing", "col-umn", "ty-pog-ra-phy", "il-lus-tra-tion", "doc-u-ment"],
    "FRG": ["Sil-ben-tren-nung", "Druck-vor-la-ge", "Zei-chen-satz", "Ab-bil-dung", "Über-schrift"],
    "FRA": ["ty-po-gra-phie", "il-lus-tra-tion", "do-cu-ment", "com-po-si-tion", "é-di-tion"],
}

STYLES = {
    "USA": ["Body Text", "Heading 1", "Heading 2", "Caption", "Quotation"],
    "FRG": ["Grundtext", "Überschrift 1", "Überschrift 2", "Bildunterschrift", "Zitat"],
    "FRA": ["Texte courant", "Titre 1", "Titre 2", "Légende", "Citation"],
}

LANGUAGE_NAMES = {"USA": "English", "FRG": "Deutsch", "FRA": "Français"}

# Source names stay mixed in case on purpose: the installed names are lower case.
PROGRAMS = ("quillon.exe", "lumen.exe", "uinstall.exe")
SYSTEM_FILES = ("msvcrt20.dll", "msvcrt40.dll", "SX32W.DLL", "TWAIN.DLL", "TWAIN_32.DLL",
                "TWUNK_16.EXE", "TWUNK_32.EXE", "ctl3d/ctl3d32.dll")


def text(lang, sentences, offset=0):
    pool = PROSE[lang]
    lines = [pool[(offset + i) % len(pool)] for i in range(sentences)]
    return ("\r\n".join(lines) + "\r\n").encode("cp1252")


def sized(seed, size):
    """Deterministic bytes of an exact length."""
    out = bytearray(size)
    value = seed & 0xFFFFFFFF
    for i in range(size):
        value = (value * 1103515245 + 12345) & 0x7FFFFFFF
        out[i] = (value >> 16) & 0xFF
    return bytes(out)


def bmp(width, height, seed):
    """A 24-bit bottom-up BMP with a simple colour gradient."""
    stride = (width * 3 + 3) & ~3
    rows = bytearray()
    for y in range(height):
        row = bytearray()
        for x in range(width):
            row += bytes(((x * 255 // max(1, width - 1) + seed) & 0xFF,
                          (y * 255 // max(1, height - 1)) & 0xFF,
                          ((x + y + seed * 7) * 3) & 0xFF))
        rows += row + b"\0" * (stride - len(row))
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    file_header = struct.pack("<2sIHHI", b"BM", 14 + len(header) + len(rows), 0, 0, 14 + len(header))
    return file_header + header + bytes(rows)


def write(path, data):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(data)


def language_tree(root, lang, seed):
    enc = "cp1252"
    title = README_TITLE[lang].encode(enc)
    write(root / "readme.wri", title + b"\r\n\r\n" + text(lang, 12))
    # The empty document used as the template for new documents.
    write(root / "default.qlx", b"QLX1\x1a" + struct.pack("<HH", 1, 0) + b"\0" * 119)

    write(root / "Help" / "Quillon.hlp", text(lang, 240))
    write(root / "Help" / "quillon.cnt", text(lang, 20, 3))
    write(root / "Help" / "lumen.hlp", text(lang, 60, 1))

    s = root / "Samples"
    write(s / "Rasters" / "screen45.qrs", sized(seed + 1, 3072))
    write(s / "Rasters" / "Lines60.qrs", sized(seed + 2, 2048))
    # Exactly one copy block, and one spanning several.
    write(s / "Document" / "Catalog.qdc", sized(seed + 3, 100000))
    write(s / "Document" / "letter.qdc", text(lang, 40))
    write(s / "Document" / "newsletter.qdc", text(lang, 90, 2))

    fonts = s / "Fonts"
    write(fonts / "fonts.lst", b"serif01.qft\r\nserif02.qft\r\nkerning.qkt\r\nligature.qkt\r\n")
    write(fonts / "Serial" / "serif01.qft", sized(seed + 4, 6000))
    write(fonts / "Serial" / "serif02.qft", sized(seed + 5, 7000))
    write(fonts / "TypeSet" / "Kerning.qkt", sized(seed + 6, 1500))
    write(fonts / "TypeSet" / "ligature.qkt", sized(seed + 7, 900))

    write(s / "Vector" / "arrow.qvg", b"M 0 0 L 40 0 L 40 -8 L 60 10 L 40 28 L 40 20 L 0 20 Z\r\n")
    write(s / "Vector" / "Logo.qvg", b"C 50 50 40\r\nM 20 50 L 80 50\r\nM 50 20 L 50 80\r\n" * 20)

    colours = "\r\n".join("%s %d %d %d" % (name, (i * 37) % 256, (i * 91) % 256, (i * 53) % 256)
                          for i, name in enumerate(COLOURS[lang]))
    write(s / "Colors" / "basic.qcl", colours.encode(enc) + b"\r\n")
    write(s / "Colors" / "Pastel.qcl", colours.upper().encode(enc) + b"\r\n")

    write(s / "Curves" / "gamma.qcv",
          "".join("%d %d\r\n" % (i, int(255 * (i / 255) ** 0.45)) for i in range(256)).encode())
    write(s / "Curves" / "contrast.qcv",
          "".join("%d %d\r\n" % (i, min(255, max(0, (i - 128) * 3 // 2 + 128)))
                  for i in range(256)).encode())

    write(s / "Dicts" / (lang.lower() + ".qdi"), ("\r\n".join(HYPHENATION[lang]) + "\r\n").encode(enc))

    write(s / "Texts" / "Sample1.txt", text(lang, 30))
    write(s / "Texts" / "sample2.txt", text(lang, 55, 4))

    write(s / "Bitmaps" / "Harbour.bmp", bmp(288, 288, seed))
    write(s / "Bitmaps" / "tile.bmp", bmp(16, 16, seed + 1))

    write(s / "Layouts" / "twocol.qlt", b"PAGE A4\r\nCOLUMNS 2 GAP 5\r\nMARGINS 20 20 25 20\r\n")
    write(s / "Layouts" / "threecol.qlt", b"PAGE A4\r\nCOLUMNS 3 GAP 4\r\nMARGINS 15 15 20 15\r\n")

    write(s / "Macros" / "date.qmc", b"INSERT DATE\r\n" + text(lang, 1))
    write(s / "Macros" / "address.qmc", b"INSERT FIELD NAME\r\nINSERT FIELD STREET\r\n" + text(lang, 2, 5))

    write(s / "Pages" / "title.qpg", text(lang, 8, 1))
    write(s / "Pages" / "Index.qpg", text(lang, 16, 3))

    styles = "\r\n".join("%s; size %d" % (name, 10 + 2 * i) for i, name in enumerate(STYLES[lang]))
    write(s / "Styles" / "standard.qst", styles.encode(enc) + b"\r\n")
    write(s / "Styles" / "headings.qst", styles.encode(enc)[:60] + b"\r\n")

    write(s / "ClipArt" / "Sun.bmp", bmp(32, 32, seed + 2))
    write(s / "ClipArt" / "tree.bmp", bmp(32, 48, seed + 3))
    write(s / "ClipArt" / "house.bmp", bmp(48, 32, seed + 4))


def platform_tree(root, lang, programs):
    for name in PROGRAMS:
        shutil.copyfile(programs / name, root / name)
    settings = ("[Quillon]\r\nLanguage=%s\r\nUnits=%s\r\nAutoSave=10\r\nRecentFiles=4\r\n"
                % (LANGUAGE_NAMES[lang], "inch" if lang == "USA" else "mm"))
    write(root / "quillon.qpr", settings.encode("cp1252"))
    write(root / "Modules" / "import.qmd", sized(11, 12000))
    write(root / "Modules" / "export.qmd", sized(12, 9000))
    write(root / "drivers" / "postscr.qdr", sized(13, 8000))
    write(root / "drivers" / "PCL.qdr", sized(14, 5000))
    write(root / "Special" / "filters.qsp", sized(15, 4000))
    write(root / "Special" / "convert.qsp", sized(16, 3000))


def build(programs, staging):
    programs, staging = Path(programs), Path(staging)
    missing = [n for n in PROGRAMS + tuple("inst/" + f for f in SYSTEM_FILES)
               if not (programs / n).is_file()]
    if missing:
        raise SystemExit("demo_content.py: not built in %s: %s" % (programs, ", ".join(missing)))
    for seed, lang in enumerate(("USA", "FRG", "FRA")):
        tree = staging / "quillon" / lang
        language_tree(tree, lang, seed * 100)
        (tree / "Win95").mkdir(parents=True, exist_ok=True)
        platform_tree(tree / "Win95", lang, programs)
    for name in SYSTEM_FILES:
        dst = staging / "inst" / "Win95" / name
        dst.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(programs / "inst" / name, dst)


def main(argv=None):
    parser = argparse.ArgumentParser(description="write the demo medium's staging tree")
    parser.add_argument("--programs", required=True)
    parser.add_argument("--staging", required=True)
    args = parser.parse_args(argv)
    build(args.programs, args.staging)
    return 0


if __name__ == "__main__":
    sys.exit(main())
