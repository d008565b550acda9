"""Cancel on the copy page: No lets the copy finish with every file of the
medium in place, Yes stops it and puts the disk back as it was, an update's
earlier installation included (alert 10 says so). A run killed mid-copy is
rolled back at the next start. The page at rest under the question shows the
file copied last and the exact percentage. Where the copy page stands on a
large and on a small screen."""
import os
import struct
import sys
import time
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import COPY, ID, ONE_BUTTON_ALERT, SPACE_ALERT, YES_NO_ALERT  # noqa: E402
from test_look_billboards import Image  # noqa: E402

# Enough small help files that the copy is still running when Cancel is served.
EXTRA_HELP_FILES = 3000

# Source below the language (1) or platform (2) tree, English destination.
ROWS = [(2, "modules", "modules"), (2, "drivers", "drivers"), (1, "samples/rasters", "rasters"),
        (1, "samples/document", "document"), (1, "samples/fonts", "fonts"), (1, "help", "help"),
        (1, "samples/vector", "vector"), (1, "samples/colors", "colors"), (1, "samples/curves", "curves"),
        (1, "samples/dicts", "dicts"), (1, "samples/texts", "texts"), (1, "samples/bitmaps", "bitmaps"),
        (1, "samples/layouts", "layouts"), (1, "samples/macros", "macros"), (1, "samples/pages", "pages"),
        (1, "samples/styles", "styles"), (2, "special", "special"), (1, "samples/clipart", "clipart")]
MERGED = ("serial", "typeset")
DONE = "Installation Completed"
ABORT_TEXT = ("The Quillon\u00ae installation has been aborted. Nothing has been changed: the earlier "
              "Quillon\u00ae installation has been left as it was.")


# The run's record as setup writes it: the header names the layout and the
# run's time stamp, every line ends in its CRC-32.
HEADER = b"Q|2|01DB000000000000"


def write_record(path, lines):
    with open(path, "wb") as f:
        for line in lines:
            f.write(line + b"|%08X\r\n" % zlib.crc32(line))


def many_help_files(staging):
    help_dir = harness.find_nocase(os.path.join(staging, "quillon", "USA"), "help")
    for i in range(EXTRA_HELP_FILES):
        with open(os.path.join(help_dir, "topic%04d.qhl" % i), "wb") as f:
            f.write(bytes([i & 255]) * 2000)


def files_below(root, merge=False):
    """{relative lower-case path: size} of every file below root; with merge,
    files of a merge directory are counted in the directory above it."""
    out = {}
    if root is None or not os.path.isdir(root):
        return out
    for base, _dirs, files in os.walk(root):
        rel = [p.lower() for p in os.path.relpath(base, root).split(os.sep) if p != "."]
        if merge:
            rel = [p for p in rel if p not in MERGED]
        for name in files:
            out["/".join(rel + [name.lower()])] = os.path.getsize(os.path.join(base, name))
    return out


def count_files(root):
    return sum(len(files) for _b, _d, files in os.walk(root))


class ManyFiles(harness.WineTestCase):

    @classmethod
    def setUpClass(cls):
        cls.prefix_options = dict(cls.prefix_options,
                                  medium=harness.adjusted_medium("cancel_medium", many_help_files))
        super().setUpClass()


class CancelCopy(ManyFiles):
    prefix_options = {"desktop": "1024x768"}

    def setUp(self):
        super().setUp()
        self.prefix.clear_drive("E")

    def catalogue(self):
        with open(os.path.join(self.prefix.medium, "inst", "inst", "USA_W95.QTB"), "rb") as f:
            return struct.unpack("<19I", f.read(76))

    def to_copy(self, dst):
        self.ui.to_options(dst)
        self.ui.next_until(COPY)
        return self.ui.hwnd

    def wait_files(self, win_dir, at_least, timeout=120):
        path = self.prefix.unix_path(win_dir)
        deadline = time.time() + timeout
        while count_files(path) < at_least:
            self.assertLess(time.time(), deadline, "the copy did not reach %d files in %s" % (at_least, win_dir))
            time.sleep(0.05)

    def cancel_held(self, win_dir):
        """Cancel on the copy page; the question holds the copy until answered.
        Returns the number of files below win_dir while it is open."""
        self.ui.click(2)
        self.assertEqual(self.ui.wait_page(YES_NO_ALERT, timeout=30), "Exit the Setup Program")
        return count_files(self.prefix.unix_path(win_dir))

    def cancel(self, answer, win_dir):
        held = self.cancel_held(win_dir)
        self.ui.answer(answer)
        return held

    def test_cancel_answered_no_skips_nothing(self):
        copy_page = self.to_copy("E:\\full")
        left, top, right, bottom = self.ui.rect()
        _, _, full_x, full_y = self.ui.metrics()
        self.assertEqual((left, top), ((full_x - (right - left)) // 2, (full_y - (bottom - top)) // 2),
                         "centred on a 1024-pixel screen")
        self.wait_files("E:\\full", 5)
        held = self.cancel(2, "E:\\full")
        self.ui.wait_page(COPY)
        self.assertEqual(self.ui.hwnd, copy_page)
        self.ui.next_until([1], DONE)
        self.ui.key("enter")
        self.assertEqual(self.ui.exit_code(timeout=60), 0)

        dst = self.prefix.unix_path("E:\\full")
        usa = os.path.join(self.prefix.medium, "quillon", "USA")
        sizes = self.catalogue()
        for row, (tree, src, name) in enumerate(ROWS):
            source = harness.find_nocase(usa if tree == 1 else harness.find_nocase(usa, "win95"), src)
            got = files_below(os.path.join(dst, name))
            self.assertEqual(got, files_below(source, merge=True), name)
            self.assertEqual(sum(got.values()), sizes[1 + row], name)
        main = {n: os.path.getsize(os.path.join(dst, n)) for n in os.listdir(dst)
                if os.path.isfile(os.path.join(dst, n)) and n != "readme.wri"}
        platform = harness.find_nocase(usa, "win95")
        self.assertEqual(set(main), {n.lower() for n in os.listdir(platform)
                                     if os.path.isfile(os.path.join(platform, n))})
        self.assertEqual(sum(main.values()), sizes[0])
        self.assertTrue(os.path.isfile(os.path.join(dst, "readme.wri")))
        self.assertLess(held, count_files(dst) // 2, "Cancel came in the middle of the copy")

    def test_cancel_answered_yes_removes_a_new_directory(self):
        self.to_copy("E:\\fresh\\quillon")
        self.wait_files("E:\\fresh\\quillon", 20)
        self.cancel(1, "E:\\fresh\\quillon")
        self.ui.exit_code(timeout=60)
        self.assertFalse(os.path.exists(self.prefix.unix_path("E:\\fresh\\quillon")))

    def assert_page_shows_where_the_copy_rests(self, page, win_dir, tbytes):
        """With the copy held by the question: the "To:" line names the file
        written last (no file at the destination is newer), "Now copying:" its
        source, and the bar the exact share of the bytes written so far."""
        dst = self.prefix.unix_path(win_dir)
        files = [os.path.join(b, n) for b, _d, names in os.walk(dst) for n in names]
        newest = max(os.stat(f).st_mtime_ns for f in files)
        copied = sum(os.path.getsize(f) for f in files)
        question = self.ui.hwnd
        self.ui.use(page)
        shown_dst, shown_src = self.ui.text(ID.IDC_DST_LINE), self.ui.text(ID.IDC_SRC_LINE)
        left, top, right, _ = self.ui.rect(ID.IDC_BAR)
        page_bottom = self.ui.rect()[3]
        self.ui.use(question)
        # The question sits over the page: moved below it, the page shows as it was drawn.
        self.ui.move(question, self.ui.rect()[0], page_bottom + 10)
        time.sleep(0.5)
        screen = Image.grab(self.prefix.display.name)
        self.assertTrue(shown_dst.startswith(win_dir.lower() + "\\"), shown_dst)
        self.assertEqual(shown_src.rsplit("\\", 1)[1], shown_dst.rsplit("\\", 1)[1])
        last = self.prefix.unix_path(shown_dst)
        self.assertGreaterEqual(os.stat(last).st_mtime_ns, newest, "the page shows the file written last")
        percent = min(100, copied // (tbytes // 100))
        done = sum(1 for x in range(left, right) if screen[x, top + 1][0] < 0x80)
        self.assertEqual(done, int((right - left) / 100.0 * percent), "bar at %d %%" % percent)

    def test_page_at_rest_under_the_question_shows_the_last_file_and_percentage(self):
        # Many small files: the copy is far quicker than the page is shown.
        self.ui.to_options("E:\\rest")
        tbytes = int("".join(c for c in self.ui.text(ID.IDC_TOTAL) if c.isdigit()))
        self.ui.next_until(COPY)
        page = self.ui.hwnd
        self.wait_files("E:\\rest\\help", 20)
        first = self.cancel_held("E:\\rest\\help")
        self.assertLess(first, EXTRA_HELP_FILES, "served in the middle of the many small files")
        self.assert_page_shows_where_the_copy_rests(page, "E:\\rest", tbytes)
        self.ui.answer(2)
        self.wait_files("E:\\rest\\help", first + 50)
        self.ui.use(page)
        second = self.cancel_held("E:\\rest\\help")
        self.assertLess(second, EXTRA_HELP_FILES, "No let the copy go on, Cancel is served again")
        self.assert_page_shows_where_the_copy_rests(page, "E:\\rest", tbytes)
        self.ui.answer(1)
        self.ui.exit_code(timeout=60)
        self.assertFalse(os.path.exists(self.prefix.unix_path("E:\\rest")))

    def test_cancel_answered_yes_keeps_what_was_there_before(self):
        self.prefix.plant("E:\\mine\\notes.txt", b"notes")
        self.prefix.plant("E:\\mine\\modules\\private.qmd", b"own module")
        self.to_copy("E:\\mine")
        self.wait_files("E:\\mine", 20)
        self.cancel(1, "E:\\mine")
        self.ui.exit_code(timeout=60)
        self.assertEqual(files_below(self.prefix.unix_path("E:\\mine")),
                         {"notes.txt": 5, "modules/private.qmd": 10})

    def plant_earlier_installation(self, root):
        """An installation the medium updates: old help topics (one read-only,
        one hidden), a main file, a file of the user's."""
        self.prefix.plant(root + "\\quillon.exe", b"old program")
        self.prefix.plant(root + "\\notes.txt", b"mine")
        for i in range(0, EXTRA_HELP_FILES, 3):
            self.prefix.plant(root + "\\help\\topic%04d.qhl" % i, b"old topic %d" % i)
        os.chmod(self.prefix.unix_path(root + "\\help\\topic0003.qhl"), 0o444)
        self.prefix.wine("attrib", "+h", root + "\\help\\topic0006.qhl")

    def disk(self):
        return {"E:": harness.tree_state(self.prefix.e_drive),
                "C:\\windows": harness.tree_state(self.prefix.unix_path("C:\\windows"))}

    def assertDiskAsBefore(self, before):
        after = self.disk()
        for root in before:
            self.assertEqual(harness.tree_changes(before[root], after[root]), [], root)

    def test_cancelled_update_leaves_the_earlier_installation_as_it_was(self):
        self.plant_earlier_installation("E:\\old")
        self.ui.to_update_options("E:\\old")
        # Start-up has brought the 3-D control library up to date by now.
        before = self.disk()
        self.ui.next_until(COPY)
        harness.when_written(self.prefix, 1500000)
        # A file the update wrote over is opened by another program before
        # the undo (a virus scanner): it cannot go back until Retry.
        self.cancel_held("E:\\old")
        pack = next(os.path.join(d, "pack") for d, _, names in os.walk(self.prefix.unix_path("E:\\old"))
                    if d.endswith("~qskeep") and "pack" in names)
        with open(pack, "rb") as f:
            head = f.read(48)
            self.ui.hold(f.read(struct.unpack_from("<I", head, 4)[0]).decode())
        self.ui.answer(1)
        self.assertEqual(self.ui.wait_page(SPACE_ALERT, timeout=60), "Unfinished Installation")
        self.ui.hold(None)
        self.ui.answer(ID.UNDO_RETRY)
        self.assertEqual(self.ui.wait_page(ONE_BUTTON_ALERT, timeout=60), "Abort Installation")
        self.assertIn(ABORT_TEXT, [c["text"] for c in self.ui.controls()])
        self.assertEqual(self.ui.text(1).replace("&", ""), "Exit")
        self.ui.click(1)
        self.ui.exit_code(timeout=60)
        self.assertDiskAsBefore(before)

    def test_killed_runs_are_rolled_back_at_the_next_start(self):
        self.prefix.plant("E:\\mine\\notes.txt", b"notes")
        self.prefix.plant("E:\\mine\\help\\topic0001.qhl", b"the user's own")
        # The last destination's parent is made by the run too: a document the
        # user saves there after the kill stays.
        for dst, written in (("E:\\mine", 200000), ("E:\\mine", 3000000), ("E:\\old", 300000),
                             ("E:\\old", 4000000), ("E:\\work\\quillon", 300000)):
            with self.subTest(dst=dst, written=written):
                if dst == "E:\\old":
                    self.plant_earlier_installation("E:\\old")
                self.new_session()
                if dst == "E:\\old":
                    self.ui.to_update_options("E:\\old")
                else:
                    self.ui.to_options(dst)
                # Start-up has brought the 3-D control library up to date by now.
                before = self.disk()
                self.ui.next_until(COPY)
                harness.when_written(self.prefix, written, kill=True)
                killed = self.disk()
                self.assertTrue(any(harness.tree_changes(before[r], killed[r]) for r in before),
                                "killed in the middle of the copy")
                saved = None
                if dst.startswith("E:\\work"):
                    saved = self.prefix.plant("E:\\work\\report.doc", b"saved after the crash")
                self.new_session()
                self.ui.start_setup()
                self.ui.wait_page(harness.LANGUAGE, timeout=120)
                if saved:
                    # The destination page made both levels for the run: only
                    # the one holding the user's document stays.
                    with open(saved, "rb") as f:
                        self.assertEqual(f.read(), b"saved after the crash")
                    self.assertEqual(os.listdir(os.path.dirname(saved)), ["report.doc"])
                    os.unlink(saved)
                    os.rmdir(os.path.dirname(saved))
                    before["E:"] = {k: v for k, v in before["E:"].items() if not k.startswith("work")}
                self.assertDiskAsBefore(before)

        # A record that cannot be read (of another layout) is reported and
        # kept aside; nothing is guessed from it.
        record = self.prefix.unix_path("C:\\windows\\qsetup.rec")
        before = self.disk()
        write_record(record, (b"Q|9", b"N|E:\\mine", b"K"))
        self.new_session()
        self.ui.start_setup()
        self.assertEqual(self.ui.wait_page(ONE_BUTTON_ALERT, timeout=60), "Unfinished Installation")
        self.ui.answer(1)
        self.ui.wait_page(harness.LANGUAGE)
        kept = self.prefix.unix_path("C:\\windows\\qsetup.bad")
        with open(kept, "rb") as f:
            self.assertIn(b"N|E:\\mine|", f.read())
        os.unlink(kept)
        self.assertDiskAsBefore(before)

        # One that cannot be wholly undone (its pack keeps the tail of a file
        # removed since) is not forgotten: Exit keeps it for the next start,
        # Retry asks again, Ignore goes on with the files as they are.
        gone = b"E:\\mine\\gone.txt"
        entry = b"QSK3" + struct.pack("<IQQ24x", len(gone), 20, 10) + gone + b"0123456789"
        self.prefix.plant("E:\\mine\\~qskeep\\pack", entry + struct.pack("<I", zlib.crc32(entry)) + b"QSKE")
        write_record(record, (HEADER, b"P|E:\\mine\\~qskeep\\pack"))
        for answers in ((ID.UNDO_EXIT,), (ID.UNDO_RETRY, ID.UNDO_IGNORE)):
            self.new_session()
            self.ui.start_setup()
            for answer in answers:
                self.assertEqual(self.ui.wait_page(SPACE_ALERT, timeout=60), "Unfinished Installation")
                self.prefix.screenshot("unfinished_installation_alert")
                self.ui.answer(answer)
            if answers == (ID.UNDO_EXIT,):
                self.ui.exit_code(timeout=60)
        self.ui.wait_page(harness.LANGUAGE)
        self.assertFalse(os.path.exists(record))

        # One that names a drive that is not there now (a network drive not
        # connected) is not taken for done: Exit keeps it, Ignore forgets it.
        write_record(record, (HEADER, b"N|Q:\\work", b"N|Q:\\work\\quillon"))
        for answer in (ID.UNDO_EXIT, ID.UNDO_IGNORE):
            self.new_session()
            self.ui.start_setup()
            self.assertEqual(self.ui.wait_page(SPACE_ALERT, timeout=60), "Unfinished Installation")
            self.assertTrue(any("not available" in c["text"] for c in self.ui.controls()))
            self.prefix.screenshot("drive_not_available_alert")
            self.ui.answer(answer)
            if answer == ID.UNDO_EXIT:
                self.ui.exit_code(timeout=60)
                self.assertTrue(os.path.exists(record))
        self.ui.wait_page(harness.LANGUAGE)
        self.assertFalse(os.path.exists(record))

    def test_second_setup_is_refused_while_one_runs(self):
        self.ui.to_options("E:\\first")
        second = self.prefix.session()
        self.addCleanup(second.close)
        second.start_setup()
        self.assertEqual(second.wait_page(ONE_BUTTON_ALERT, timeout=60), "Setup Is Already Running")
        self.prefix.screenshot("setup_already_running_alert")
        second.answer(1)
        self.assertEqual(second.exit_code(timeout=30), 0)
        # The first one goes on as if nothing had happened.
        self.ui.next_until([1], DONE)
        self.ui.key("enter")
        self.assertEqual(self.ui.exit_code(timeout=60), 0)
        self.assertTrue(os.path.isfile(self.prefix.unix_path("E:\\first\\readme.wri")))

    def new_session(self):
        self.ui.close()
        self.ui = self.prefix.session()
        self.addCleanup(self.ui.close)
class SmallScreenCopyPage(ManyFiles):
    prefix_options = {"desktop": "800x600"}

    def test_copy_page_sits_above_the_bottom_of_the_setup_window(self):
        self.ui.to_options("E:\\small")
        self.ui.next_until(COPY)
        left, top, right, bottom = self.ui.rect()
        setup = [w["rect"] for w in self.ui.windows() if w["class"] == "install_wnd"]
        self.assertEqual(len(setup), 1)
        _, _, full_x, _ = self.ui.metrics()
        self.assertLess(full_x, 1024)
        self.assertEqual(bottom, setup[0][3] - 10)
        self.assertEqual(left, (full_x - (right - left)) // 2, "only moved down")
        self.ui.click(2)
        self.ui.wait_page(YES_NO_ALERT, "Exit the Setup Program", timeout=30)
        self.ui.answer(1)
        self.ui.exit_code(timeout=60)
        self.assertFalse(os.path.exists(self.prefix.unix_path("E:\\small")))


if __name__ == "__main__":
    harness.main()
