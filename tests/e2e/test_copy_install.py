"""The product gets installed: component page figures, the copy of the demo
medium with its names, merge directories and system files, a read-only file
replaced, and a drive too small for the selection: alert 11 (Back and Exit
answered No keep the page as the user left it), then alert 12 and the
destination as it was before, for a new installation and, with alert 10, for an
update; the same after a read error on the medium."""
import os
import shutil
import socket
import stat
import struct
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import FOLDER, ONE_BUTTON_ALERT, OPTIONS, SPACE_ALERT, YES_NO_ALERT  # noqa: E402

ENGLISH = (10, "USA", {"path": "Invalid Path", "done": "Installation Completed"})
GERMAN = (12, "FRG", {"path": "Ungültiger Pfad", "done": "Installation abgeschlossen"})

ENGLISH_DIRS = ["modules", "drivers", "rasters", "document", "fonts", "help", "vector", "colors",
                "curves", "dicts", "texts", "bitmaps", "layouts", "macros", "pages", "styles",
                "special", "clipart"]
GERMAN_DIRS = ["module", "treiber", "raster", "dokument", "fonts", "hilfe", "vektor", "farben",
               "kennlin", "lexika", "texte", "bilder", "layouts", "makros", "seiten", "stile",
               "spezial", "clipart"]
SAMPLE_ROWS = {2, 3, 6, 7, 8, 10, 11, 12, 13, 14, 15, 17}
READ_TEXT = ("The Quillon\u00ae installation has been aborted because a file on the CD-ROM could not be "
             "read. Nothing has been changed: all files have been left as they were before the installation.")
FULL_TEXT = ("The Quillon\u00ae installation has been aborted due to missing hard drive space. Nothing has "
             "been changed: all files have been left as they were before the installation.")


def tree(root):
    """Every path below root, relative, as the disk spells it."""
    out = []
    for base, dirs, files in os.walk(root):
        rel = os.path.relpath(base, root)
        out += [os.path.normpath(os.path.join(rel, n)) for n in dirs + files]
    return sorted(out)


def grouped(n, sep):
    s = str(n)
    return sep.join(s[max(0, i - 3):i] for i in range(len(s), 0, -3)[::-1])


class CopyInstall(harness.WineTestCase):

    def catalogue(self, lang):
        with open(os.path.join(self.prefix.medium, "inst", "inst", lang + "_W95.QTB"), "rb") as f:
            return struct.unpack("<19I", f.read(76))

    def to_options(self, dst, language=ENGLISH):
        button, _, self.captions = language
        self.ui.to_options(dst, button, self.captions["path"])

    def next_to_end(self):
        """Next through the folder page and the copy, up to the completion page."""
        self.ui.next_until([1], self.captions["done"])
        self.ui.key("enter")
        self.assertEqual(self.ui.exit_code(timeout=30), 0)

    def setUp(self):
        super().setUp()
        self.prefix.clear_drive("E")

    def test_english_install_with_figures_names_and_system_files(self):
        sizes = self.catalogue("USA")
        self.to_options("E:\\Quillon")
        self.assertEqual(self.ui.text(40), grouped(sum(sizes), ","))
        self.assertEqual(self.ui.text(18), grouped(sizes[1], ","))
        self.ui.click(10)   # Modules off and on again: the total follows and returns
        self.assertEqual(self.ui.text(40), grouped(sum(sizes) - sizes[1], ","))
        self.assertEqual(self.ui.text(18), "0")
        self.ui.click(10)
        self.assertEqual(self.ui.text(40), grouped(sum(sizes), ","))
        self.assertNotEqual(self.ui.text(41), "0")
        self.next_to_end()

        dst = self.prefix.unix_path("E:\\Quillon")
        names = tree(dst)
        self.assertEqual([n for n in names if n != n.lower()], [])
        top = set(os.listdir(dst))
        self.assertTrue(set(ENGLISH_DIRS) <= top, top)
        self.assertTrue({"quillon.exe", "quillon.qpr", "readme.wri"} <= top)
        self.assertFalse([n for n in names if os.path.basename(n) in ("serial", "typeset")])
        # What the medium holds below a merge directory lies in the component itself.
        medium_usa = os.path.join(self.prefix.medium, "quillon", "USA")
        merged = [os.path.basename(p).lower() for p in tree(medium_usa)
                  if os.path.basename(os.path.dirname(p)).lower() in ("serial", "typeset")]
        self.assertTrue(merged)
        for name in merged:
            self.assertTrue(any(os.path.basename(n) == name for n in names), name)
        self.assertFalse([n for n in names if n.endswith(".tmp")])

        sysdir = self.prefix.unix_path("C:\\windows\\system32")
        with open(os.path.join(self.prefix.medium, "inst", "Win95", "SX32W.DLL"), "rb") as f:
            sx = f.read()
        found = [n for n in os.listdir(sysdir) if n.lower() == "sx32w.dll"]
        self.assertEqual(len(found), 1)
        with open(os.path.join(sysdir, found[0]), "rb") as f:
            self.assertEqual(f.read(), sx)
        self.assertFalse(os.path.exists(self.prefix.unix_path("C:\\windows\\ShellNew\\default.qlx")))

    def test_german_install_without_samples_over_a_read_only_file(self):
        self.prefix.plant("E:\\Ziel\\readme.wri", b"old")
        os.chmod(self.prefix.unix_path("E:\\Ziel\\readme.wri"), stat.S_IRUSR)
        sizes = self.catalogue("FRG")
        self.to_options("E:\\Ziel", GERMAN)
        self.assertEqual(self.ui.text(40), grouped(sum(sizes), "."))
        self.ui.click(13)   # samples off
        samples = sum(sizes[1 + r] for r in SAMPLE_ROWS)
        self.assertEqual(self.ui.text(40), grouped(sum(sizes) - samples, "."))
        self.assertEqual(self.ui.text(21), "0")
        self.next_to_end()

        dst = self.prefix.unix_path("E:\\Ziel")
        top = set(os.listdir(dst))
        wanted = {GERMAN_DIRS[r] for r in range(18) if r not in SAMPLE_ROWS}
        self.assertEqual({d for d in top if os.path.isdir(os.path.join(dst, d))}, wanted)
        with open(os.path.join(dst, "readme.wri"), "rb") as f:
            self.assertNotEqual(f.read(), b"old")
        self.assertTrue(os.stat(os.path.join(dst, "readme.wri")).st_mode & stat.S_IWUSR)


    def test_updates_beside_a_running_program_of_the_installation(self):
        """A running program's file can be renamed but not deleted: the first
        update keeps it aside and cannot remove it when it ends; a second
        update of the same directory still replaces what it must."""
        platform = harness.find_nocase(os.path.join(self.prefix.medium, "quillon", "USA"), "win95")
        with open(harness.find_nocase(platform, "quillon.exe"), "rb") as f:
            program = f.read()
        with open(harness.find_nocase(platform, "lumen.exe"), "rb") as f:
            lumen = f.read()
        self.prefix.plant("E:\\old\\quillon.exe", program + b"of an earlier version")
        self.prefix.plant("E:\\old\\lumen.exe", b"earlier lumen")
        running = subprocess.Popen(harness.PIN + ["wine", "E:\\old\\quillon.exe"], env=self.prefix.env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        pid = harness.wine_process(self.prefix, "quillon.exe")
        self.addCleanup(running.wait)
        self.addCleanup(os.kill, pid, 9)
        time.sleep(2)   # mapped and showing its window
        dst = self.prefix.unix_path("E:\\old")
        for second in (False, True):
            with self.subTest(second=second):
                if second:
                    self.prefix.plant("E:\\old\\lumen.exe", b"changed again since")
                    os.unlink(os.path.join(dst, "quillon.qpr"))   # no question about it
                    self.ui.close()
                    self.ui = self.prefix.session()
                    self.addCleanup(self.ui.close)
                self.captions = ENGLISH[2]
                self.ui.to_update_options("E:\\old")
                self.next_to_end()
                for name, data in (("quillon.exe", program), ("lumen.exe", lumen)):
                    with open(os.path.join(dst, name), "rb") as f:
                        self.assertEqual(f.read(), data, name)

    def test_windows_directory_that_cannot_be_written(self):
        windows = self.prefix.unix_path("C:\\windows")
        for language in (ENGLISH, GERMAN):
            with self.subTest(language=language[1]):
                self.ui.close()
                self.ui = self.prefix.session()
                self.addCleanup(self.ui.close)
                self.to_options("E:\\Quillon", language)
                subprocess.run(["mount", "--bind", windows, windows], check=True)
                self.addCleanup(subprocess.run, ["umount", windows], check=False)
                subprocess.run(["mount", "-o", "remount,bind,ro", windows, windows], check=True)
                self.ui.next_until(ONE_BUTTON_ALERT, timeout=120)
                caption = self.ui.caption()
                self.prefix.screenshot("windows_directory_alert_" + language[1])
                subprocess.run(["umount", windows], check=True)
                self.assertEqual(caption, {"USA": "Windows Directory Not Writable",
                                           "FRG": "Windows-Verzeichnis schreibgeschützt"}[language[1]])
                self.ui.answer(1)
                self.ui.exit_code(timeout=60)
                self.assertFalse(os.path.exists(self.prefix.unix_path("E:\\Quillon")))


class SmallDrive(harness.WineTestCase):
    # Far below the demo medium's ~600 kB: the copy fills the disk.
    prefix_options = {"small_drive_kb": 256}

    def test_space_warning_then_disk_full_leaves_the_drive_clean(self):
        self.prefix.plant("F:\\Quillon\\mine.txt", b"the user's")
        CopyInstall.to_options(self, "F:\\Quillon")
        self.ui.click(10)   # a choice of the user's that the answers must not undo
        total = self.ui.text(40)
        self.ui.click(1)
        self.assertEqual(self.ui.wait_page(SPACE_ALERT), "Out of Harddisk Space")
        self.ui.answer(harness.ID.NO_SPACE_BACK)
        self.ui.wait_page(OPTIONS)
        self.assertEqual((self.ui.checked(10), self.ui.text(40)), (0, total))
        self.ui.click(1)
        self.ui.wait_page(SPACE_ALERT, "Out of Harddisk Space")
        self.ui.answer(harness.ID.NO_SPACE_EXIT)   # then No: still the same page
        self.ui.wait_page(YES_NO_ALERT, "Exit the Setup Program")
        self.ui.answer(harness.ID.ANSWER_NO)
        self.ui.wait_page(OPTIONS)
        self.assertEqual((self.ui.checked(10), self.ui.text(40)), (0, total))
        self.ui.click(1)
        self.ui.wait_page(SPACE_ALERT, "Out of Harddisk Space")
        self.ui.answer(harness.ID.NO_SPACE_CONTINUE)
        self.ui.wait_page(FOLDER, "Folder Selection", timeout=30)
        self.ui.click(1)
        self.ui.wait_page(ONE_BUTTON_ALERT, "Out of Harddisk Space", timeout=120)
        self.ui.click(1)
        self.ui.exit_code(timeout=60)
        self.assertEqual(tree(self.prefix.unix_path("F:\\Quillon")), ["mine.txt"])

    def test_update_that_fills_the_disk_is_aborted_and_keeps_everything(self):
        self.prefix.clear_drive("F")
        self.prefix.plant("F:\\old\\quillon.exe", b"old program")
        self.prefix.plant("F:\\old\\notes.txt", b"mine")
        self.prefix.plant("F:\\old\\help\\quillon.hlp", b"old help")
        os.chmod(self.prefix.unix_path("F:\\old\\help\\quillon.hlp"), stat.S_IRUSR)
        before = harness.tree_state(self.prefix.f_drive)
        self.ui.to_update_options("F:\\old")
        self.ui.click(1)
        self.ui.wait_page(SPACE_ALERT, "Out of Harddisk Space")
        self.ui.answer(harness.ID.NO_SPACE_CONTINUE)
        self.ui.next_until(ONE_BUTTON_ALERT, "Out of Harddisk Space", timeout=120)
        self.assertIn(FULL_TEXT, [c["text"] for c in self.ui.controls()])
        self.assertIn("old/help/quillon.hlp", harness.tree_changes(before, harness.tree_state(self.prefix.f_drive)))
        self.ui.answer(1)
        self.assertEqual(self.ui.wait_page(ONE_BUTTON_ALERT, timeout=30), "Abort Installation")
        self.ui.answer(1)
        self.ui.exit_code(timeout=60)
        self.assertEqual(harness.tree_changes(before, harness.tree_state(self.prefix.f_drive)), [])


class RealDisk(harness.WineTestCase):
    """Onto a disk where a flush waits for the disk (an ext4 file system
    through a loop device, F:): the copy flushes every file it writes before
    the run is marked done, as the power-cut promise needs."""
    prefix_options = {"real_disk_mb": 256}

    def flushes(self):
        """Flush requests the loop device under F: has completed."""
        with open("/proc/mounts") as f:
            dev = next(line.split()[0] for line in f if line.split()[1] == self.prefix.f_drive)
        with open("/sys/block/%s/stat" % os.path.basename(dev)) as f:
            return int(f.read().split()[15])

    def test_every_file_written_is_flushed(self):
        before = self.flushes()
        CopyInstall.to_options(self, "F:\\Quillon")
        CopyInstall.next_to_end(self)
        files = sum(len(names) for _, _, names in os.walk(self.prefix.unix_path("F:\\Quillon")))
        self.assertGreater(files, 40)
        flushed = self.flushes() - before
        harness.log("%d files installed, %d flushes of the disk" % (files, flushed))
        self.assertGreaterEqual(flushed, files)


def unix_socket_at(directory, name):
    """Leaves a Unix socket file named name in directory. A socket's address
    holds at most 107 bytes, which the full path of a medium inside a clone
    that lies deep exceeds: the name is bound relative to the directory."""
    cwd = os.getcwd()
    os.chdir(directory)
    try:
        with socket.socket(socket.AF_UNIX) as s:
            s.bind(name)
    finally:
        os.chdir(cwd)


class DamagedMedium(harness.WineTestCase):
    """Files the CD lists but that cannot be read: one that cannot be opened in
    Modules (a socket: Wine does not list a broken link at all), one that fails
    in its first read in Help (a link to /proc/self/mem)."""

    @classmethod
    def setUpClass(cls):
        medium = os.path.join(harness.E2E_DIR, "damaged-medium")
        shutil.rmtree(medium, ignore_errors=True)
        shutil.copytree(harness.medium_dir(), medium, symlinks=True)
        usa = os.path.join(medium, "quillon", "USA")
        unix_socket_at(os.path.join(usa, "Win95", "Modules"), "lost.dll")
        os.symlink("/proc/self/mem", os.path.join(usa, "Help", "memory.hlp"))
        cls.prefix_options = dict(cls.prefix_options, medium=medium)
        super().setUpClass()

    def install_until_read_error(self, skip_modules):
        self.prefix.clear_drive("E")
        self.ui.to_options("E:\\Quillon")
        if skip_modules:
            self.ui.click(10)
        self.ui.next_until(ONE_BUTTON_ALERT, "Read Error", timeout=120)
        name = self.ui.text(20)
        self.ui.answer(1)
        self.ui.exit_code(timeout=60)
        # As after any failed copy of a new installation: nothing of it stays.
        self.assertFalse(os.path.exists(self.prefix.unix_path("E:\\Quillon")))
        return name

    def test_listed_file_that_cannot_be_opened_ends_the_installation(self):
        name = self.install_until_read_error(False)
        self.assertTrue(name.endswith("\\lost.dll"), name)

    def test_read_failure_inside_a_file_is_no_full_disk(self):
        name = self.install_until_read_error(True)
        self.assertTrue(name.endswith("\\memory.hlp"), name)

    def test_failed_new_install_leaves_earlier_files_as_they_were(self):
        self.prefix.clear_drive("E")
        self.prefix.plant("E:\\Quillon\\lumen.exe", b"oldexe")
        self.prefix.plant("E:\\Quillon\\drivers\\pcl.qdr", b"old driver")
        self.prefix.plant("E:\\Quillon\\user.txt", b"the user's")
        os.chmod(self.prefix.unix_path("E:\\Quillon\\drivers\\pcl.qdr"), stat.S_IRUSR)
        before = harness.tree_state(self.prefix.e_drive)
        self.ui.to_options("E:\\Quillon")
        self.ui.click(10)   # Modules off: the read error comes in Help, after Drivers
        self.ui.next_until(ONE_BUTTON_ALERT, "Read Error", timeout=120)
        self.assertIn(READ_TEXT, [c["text"] for c in self.ui.controls()])
        self.assertIn("Quillon/drivers/pcl.qdr",
                      harness.tree_changes(before, harness.tree_state(self.prefix.e_drive)))
        self.ui.answer(1)
        self.ui.exit_code(timeout=60)
        self.assertEqual(harness.tree_changes(before, harness.tree_state(self.prefix.e_drive)), [])


if __name__ == "__main__":
    harness.main()
