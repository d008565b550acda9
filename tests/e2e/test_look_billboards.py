"""The setup window as a user sees it, read from screenshots: the blue title,
the framed billboards during a copy (first at the left, the next at the right
edge, higher up on a small screen), the pictures themselves pixel for pixel,
a repaint after a window was dragged over them, and the bare background
after the copy.

The copy has to be slow enough to watch: a medium of its own carries six
thousand small main files (the time per file, not per byte, is what makes a
copy take long under Wine), and the copy is held between files by opening
the Cancel question (the copy waits while it is open) and answering "No"."""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import COPY, LANGUAGE, YES_NO_ALERT  # noqa: E402
from test_integration import Recorder  # noqa: E402

SMALL_FILES = 6000
SMALL_SIZE = 4000

WHITE, GREY, LIGHT = (255, 255, 255), (128, 128, 128), (192, 192, 192)
BLUE = (0, 0, 255)


# ---------------------------------------------------------------- pictures

class Image:
    """An RGB picture: the screen (a PPM from ImageMagick) or a bitmap file."""

    def __init__(self, width, height, rows):
        self.width, self.height, self.rows = width, height, rows

    def __getitem__(self, xy):
        x, y = xy
        i = 3 * x
        return tuple(self.rows[y][i:i + 3])

    @classmethod
    def grab(cls, display):
        data = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"], env=dict(os.environ, DISPLAY=display),
                              check=True, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=60).stdout
        fields, pos = [], 0
        while len(fields) < 4:
            while data[pos:pos + 1].isspace():
                pos += 1
            if data[pos:pos + 1] == b"#":
                pos = data.index(b"\n", pos)
                continue
            end = pos
            while not data[end:end + 1].isspace():
                end += 1
            fields.append(data[pos:end])
            pos = end
        magic, width, height, maxval = fields[0], int(fields[1]), int(fields[2]), int(fields[3])
        if magic != b"P6" or maxval != 255:
            raise harness.HarnessError("unexpected screen format %r/%d" % (magic, maxval))
        pos += 1
        stride = 3 * width
        return cls(width, height, [data[pos + y * stride:pos + (y + 1) * stride] for y in range(height)])

    @classmethod
    def bmp(cls, path):
        """An uncompressed 4- or 8-bit bitmap file, top row first."""
        with open(path, "rb") as f:
            data = f.read()
        offset = int.from_bytes(data[10:14], "little")
        width = int.from_bytes(data[18:22], "little", signed=True)
        height = int.from_bytes(data[22:26], "little", signed=True)
        bits = int.from_bytes(data[28:30], "little")
        table = data[54:54 + 4 * (1 << bits)]
        colours = [bytes((table[4 * i + 2], table[4 * i + 1], table[4 * i])) for i in range(1 << bits)]
        stride = (width * bits + 31) // 32 * 4
        rows = []
        for y in range(abs(height)):
            src = data[offset + y * stride:offset + (y + 1) * stride]
            if bits == 4:
                idx = [b >> 4 if x % 2 == 0 else b & 15 for x, b in ((x, src[x // 2]) for x in range(width))]
            else:
                idx = src[:width]
            rows.append(b"".join(colours[i] for i in idx))
        if height > 0:
            rows.reverse()
        return cls(width, abs(height), rows)


def billboard(number, lang="en"):
    return Image.bmp(os.path.join(harness.SOURCE_DIR, "res", "pictures", "billboard%d_%s.bmp" % (number, lang)))


# ---------------------------------------------------------------- medium

def slow_medium():
    """The demo medium with SMALL_FILES more main files: 20 % of it is well over
    2,000,000 bytes (five pictures), and a file is far smaller than a share."""
    def add_glyphs(staging):
        main_files = os.path.join(staging, "quillon", "USA", "Win95")
        for i in range(SMALL_FILES):
            with open(os.path.join(main_files, "glyph%04d.qgl" % i), "wb") as f:
                f.write(bytes([i & 255]) * SMALL_SIZE)
    return harness.adjusted_medium("look_medium", add_glyphs)


# ---------------------------------------------------------------- the case

class Billboards(harness.WineTestCase):
    """On a screen of 800 pixels or more: billboards 50 pixels down."""

    prefix_options = {"desktop": "1024x768"}
    top = 50

    @classmethod
    def setUpClass(cls):
        cls.prefix_options = dict(cls.prefix_options, medium=slow_medium())
        super().setUpClass()

    def setUp(self):
        super().setUp()
        self.prefix.clear_drive("E")

    # -- what is on the screen

    def screen(self, name=None):
        if name:
            self.shot(name)
        return Image.grab(self.prefix.display.name)

    def others(self):
        """Screen rectangles of the process's windows above the setup window."""
        return [w["rect"] for w in self.ui.windows() if w["class"] != "install_wnd"]

    def covered(self, x, y, rects):
        return any(l <= x < r and t <= y < b for l, t, r, b in rects)

    def place(self, number, left):
        """Where picture `number` stands: its top-left corner on the screen and its bitmap."""
        pic = billboard(number)
        x = 20 if left else self.client[2] - self.client[0] - pic.width - 20
        return self.client[0] + x, self.client[1] + self.top, pic

    def shows(self, shot, number, left, rects):
        """Mismatching pixels (a list of texts) between the screen and billboard
        `number` with its frame; covered pixels are not looked at."""
        x, y, pic = self.place(number, left)
        bad = []

        def expect(px, py, colour, what):
            if not self.covered(px, py, rects) and shot[px, py] != colour:
                bad.append("%s at (%d,%d): %s, not %s" % (what, px, py, shot[px, py], colour))

        L, T, R, B = x - 5, y - 5, x + pic.width + 5, y + pic.height + 5
        for px in range(L, R - 1, 7):
            expect(px, T, WHITE, "outer top")
        for py in range(T, B - 1, 7):
            expect(L, py, WHITE, "outer left")
        for py in range(T + 1, B - 1, 7):
            expect(R - 1, py, GREY, "outer right")
        # A line leaves out its end point: the bottom edges stop short at the left.
        for px in range(L + 2, R, 7):
            expect(px, B - 1, GREY, "outer bottom")
        for px in range(L + 2, R - 2, 7):
            expect(px, T + 2, LIGHT, "band top")
            expect(px, B - 3, LIGHT, "band bottom")
        for py in range(T + 2, B - 2, 7):
            expect(L + 2, py, LIGHT, "band left")
            expect(R - 3, py, LIGHT, "band right")
        for px in range(L + 4, R - 4, 7):
            expect(px, T + 4, GREY, "inner top")
        for py in range(T + 4, B - 4, 7):
            expect(L + 4, py, GREY, "inner left")
        for py in range(T + 5, B - 4, 7):
            expect(R - 4, py, WHITE, "inner right")
        for px in range(L + 6, R - 3, 7):
            expect(px, B - 4, WHITE, "inner bottom")
        for py in range(pic.height):
            for px in range(pic.width):
                if not self.covered(x + px, y + py, rects) and shot[x + px, y + py] != pic[px, py]:
                    bad.append("picture %d pixel (%d,%d)" % (number, px, py))
        return bad

    def framed(self, shot, number, left, rects):
        """True when the top-left corner of billboard `number`'s frame is there
        (on a small screen the pictures overlap: the top band alone is not enough)."""
        x, y, pic = self.place(number, left)
        corner = [((x - 5 + d, y - 3), LIGHT) for d in range(2, 40, 3)]
        corner += [((x - 5, y - 5 + d), WHITE) for d in range(0, 40, 3)]
        corner += [((x - 3, y - 3 + d), LIGHT) for d in range(0, 40, 3)]
        visible = [(p, c) for p, c in corner if not self.covered(p[0], p[1], rects)]
        return bool(visible) and all(shot[p] == c for p, c in visible)

    # -- the run

    def to_copy(self):
        self.ui.start_setup()
        self.ui.wait_page(LANGUAGE, timeout=60)
        wnd = [w for w in self.ui.windows() if w["class"] == "install_wnd"]
        self.assertEqual(len(wnd), 1, "one setup window")
        self.setup_window = wnd[0]["hwnd"]
        self.client = self.ui.client_rect(self.setup_window)
        self.assertEqual(self.ui.metrics()[2] >= 800, self.top == 50, "the screen this case is meant for")
        # Our own Program Manager: Wine's would open a folder window over the billboard area.
        self.addCleanup(Recorder(self.prefix, "").stop)
        self.ui.to_options("E:\\look", start=False, search_timeout=500)  # the search of every disk
        before = (self.screen("before_copy"), self.others())
        self.ui.next_until(COPY, timeout=120)
        return before

    def hold(self):
        """Holds the copy at the next file: Cancel, and the question stays open."""
        self.ui.click(2)
        self.ui.wait_page(YES_NO_ALERT, timeout=30)
        return self.ui.hwnd

    def test_title_billboards_and_repaint(self):
        before, before_rects = self.to_copy()

        # The title: pure blue strokes from (30, 20) on.
        cx, cy = self.client[:2]
        blue = [(x, y) for y in range(cy + 20, cy + 150) for x in range(cx + 30, cx + 430)
                if before[x, y] == BLUE]
        self.assertGreater(len(blue), 500, "title pixels")
        self.assertLessEqual(min(x for x, _ in blue) - cx, 40)
        self.assertLessEqual(min(y for _, y in blue) - cy, 60)

        copy_page = self.ui.hwnd
        alert = self.hold()
        shot = self.screen("first_billboard")
        self.assertEqual(self.shows(shot, 50, True, self.others()), [])
        self.assertFalse(self.framed(shot, 51, False, self.others()))

        # Held now and then until the second picture is up, at the right edge.
        deadline = time.time() + 300
        while time.time() < deadline:
            self.ui.click(2)
            time.sleep(0.2)   # a few hundred files at most: a picture lasts 1,200
            self.ui.use(copy_page)
            alert = self.hold()
            shot = self.screen()
            if self.framed(shot, 51, False, self.others()):
                break
        else:
            self.fail("the second billboard never showed")
        self.shot("second_billboard")
        rects = self.others()
        self.assertEqual(self.shows(shot, 51, False, rects), [])
        self.assertFalse(self.framed(shot, 50, True, rects), "the first billboard was removed")

        # Dragging the question over the picture and back: it is drawn again.
        l, t, _, _ = self.ui.rect()
        x, y, pic = self.place(51, False)
        self.ui.move(alert, x + 10, y + 10)
        moved = self.screen("billboard_covered")
        self.assertNotEqual(self.shows(moved, 51, False, []), [], "the question covers the picture")
        self.ui.move(alert, l, t)
        time.sleep(1)
        uncovered = self.screen("billboard_uncovered")
        self.assertEqual(self.shows(uncovered, 51, False, self.others()), [])
        # The same when the whole setup window is painted anew, background first.
        self.ui.cmd("redraw %s" % self.setup_window)
        time.sleep(1)
        repainted = self.screen("billboard_repainted")
        self.assertEqual(self.shows(repainted, 51, False, self.others()), [])

        # To the end of the copy without holding it.
        self.ui.click(2)
        deadline = time.time() + 300
        while self.ui.try_wait_page(COPY, timeout=1) is not None:
            self.assertLess(time.time(), deadline, "the copy did not end")
            time.sleep(1)
        self.ui.wait_page([1], timeout=60)
        time.sleep(1)
        after = self.screen("after_copy")
        rects = before_rects + self.others()
        for number, left in ((50, True), (51, False), (54, True), (54, False)):
            x, y, pic = self.place(number, left)
            diff = [(px, py) for py in range(y - 5, y + pic.height + 5) for px in range(x - 5, x + pic.width + 5)
                    if not self.covered(px, py, rects) and after[px, py] != before[px, py]]
            self.assertEqual(diff[:5], [], "billboard area %d %s not the background" % (number, left))


if __name__ == "__main__":
    harness.main()
