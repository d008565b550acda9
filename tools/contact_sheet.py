#!/usr/bin/env python3
"""One picture of a headless demo run, for people to look at: every page
screenshot in English, German and French, and the five billboards of each of
those languages, in rows by language.

  contact_sheet.py --screenshots DIR [--pictures res/pictures] [--out FILE]

The copy page's screenshot shows the billboard of the moment; all five of
each language are drawn here from the bitmaps the program carries, with the
frame the setup window puts around them.
"""
import argparse
import glob
import os
import shutil
import subprocess
import sys
import tempfile

LANGUAGES = (("en", "English"), ("de", "German"), ("fr", "French"))
BILLBOARDS = (50, 51, 52, 53, 54)
TILE = "256x192+6+6"
COLUMNS = 6


def framed(bmp, out):
    """The bitmap with the setup window's 5-pixel frame: raised outer edge,
    light grey band, sunken inner edge."""
    with open(bmp, "rb") as f:
        head = f.read(26)
    w = int.from_bytes(head[18:22], "little", signed=True) + 10
    h = abs(int.from_bytes(head[22:26], "little", signed=True)) + 10
    lines = (("white", 0, 0, w - 1, 0), ("white", 0, 0, 0, h - 1),
             ("rgb(128,128,128)", w - 1, 1, w - 1, h - 1), ("rgb(128,128,128)", 1, h - 1, w - 1, h - 1),
             ("rgb(128,128,128)", 4, 4, w - 5, 4), ("rgb(128,128,128)", 4, 4, 4, h - 5),
             ("white", w - 5, 5, w - 5, h - 5), ("white", 5, h - 5, w - 5, h - 5))
    cmd = ["convert", bmp, "-bordercolor", "rgb(192,192,192)", "-border", "5", "+antialias",
           "-strokewidth", "1"]
    for colour, x0, y0, x1, y1 in lines:
        cmd += ["-stroke", colour, "-draw", "line %d,%d %d,%d" % (x0, y0, x1, y1)]
    subprocess.run(cmd + ["png24:" + out], check=True)


def tiles(screenshots, pictures, work):
    """(label, file) in sheet order; each language starts a row of its own."""
    out = []
    for code, name in LANGUAGES:
        out += [("", "null:")] * (-len(out) % COLUMNS)
        for shot in sorted(glob.glob(os.path.join(screenshots, code + "_*.png"))):
            label = os.path.splitext(os.path.basename(shot))[0][len(code) + 1:].replace("_", " ")
            out.append(("%s: %s" % (name, label), shot))
        for number in BILLBOARDS:
            bmp = os.path.join(pictures, "billboard%d_%s.bmp" % (number, code))
            if os.path.exists(bmp):
                png = os.path.join(work, "billboard%d_%s.png" % (number, code))
                framed(bmp, png)
                out.append(("%s: billboard %d" % (name, number), png))
    return out


def main(argv=None):
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--screenshots", required=True)
    ap.add_argument("--pictures", default=os.path.join(here, "..", "res", "pictures"))
    ap.add_argument("--out")
    args = ap.parse_args(argv)
    out = args.out or os.path.join(args.screenshots, "contact_sheet.png")
    if not shutil.which("montage"):
        print("contact_sheet.py: montage (imagemagick) is missing", file=sys.stderr)
        return 1
    work = tempfile.mkdtemp()
    try:
        items = tiles(args.screenshots, args.pictures, work)
        # Billboards alone are no picture of a run.
        if not glob.glob(os.path.join(args.screenshots, "*_*.png")):
            print("contact_sheet.py: no screenshots in %s" % args.screenshots, file=sys.stderr)
            return 1
        cmd = ["montage"]
        # ImageMagick's default label font is often not installed.
        font = subprocess.run(["fc-match", "-f", "%{file}", "sans"], stdout=subprocess.PIPE, text=True).stdout \
            if shutil.which("fc-match") else ""
        if font:
            cmd += ["-font", font]
        for label, path in items:
            cmd += ["-label", label.replace("%", "%%"), path]
        cmd += ["-tile", "%dx" % COLUMNS, "-geometry", TILE, "-pointsize", "12", "-background", "rgb(224,224,224)",
                "-title", "Quillon Setup: pages and billboards", out]
        subprocess.run(cmd, check=True)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("contact sheet:", out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
