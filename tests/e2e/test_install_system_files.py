"""Shared system libraries after a whole installation: the runtime libraries
and the TWAIN files only when the medium's version number is higher, SX32W.DLL
always; CTL3D brought up to date at start-up on Windows NT (a library refusing
automatic subclassing ends setup before any page), not touched on Windows 95."""
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

DONE = "Installation Completed"


def versioned(kind, version):
    """A small library or program whose FileVersion string is `version`."""
    out = os.path.join(harness.E2E_DIR, "versioned", "%s-%s.%s" % (kind, version, "exe" if kind == "exe" else "dll"))
    if not os.path.exists(out):
        subprocess.run(["sh", os.path.join(harness.SOURCE_DIR, "tools", "medium", "make_versioned.sh"),
                        kind, version, out], check=True)
    with open(out, "rb") as f:
        return f.read()


def find(directory, name):
    """The file of that name in any case, or None."""
    hits = [e for e in os.listdir(directory) if e.lower() == name.lower()]
    return os.path.join(directory, hits[0]) if hits else None


def content(directory, name):
    path = find(directory, name)
    if path is None:
        return None
    with open(path, "rb") as f:
        return f.read()


def put(directory, name, data):
    """Replaces a file whatever the case of its present name; None removes it."""
    old = find(directory, name)
    if old:
        os.unlink(old)
    if data is not None:
        with open(os.path.join(directory, name), "wb") as f:
            f.write(data)


class SystemFilesNT(harness.WineTestCase):

    @classmethod
    def setUpClass(cls):
        # A medium of our own: the cases swap the libraries it carries.
        medium = os.path.join(harness.E2E_DIR, "sysfiles_medium")
        shutil.rmtree(medium, ignore_errors=True)
        shutil.copytree(harness.medium_dir(), medium, symlinks=True)
        cls.prefix_options = dict(cls.prefix_options, medium=medium)
        super().setUpClass()
        cls.inst = os.path.join(medium, "inst", "Win95")
        cls.shipped = {n: content(cls.inst, n) for n in os.listdir(cls.inst) if n != "ctl3d"}
        cls.shipped_ctl3d = content(os.path.join(cls.inst, "ctl3d"), "ctl3d32.dll")

    def setUp(self):
        super().setUp()
        self.prefix.clear_drive("E")
        self.sysdir = self.prefix.unix_path("C:\\windows\\system32")
        self.windir = self.prefix.unix_path("C:\\windows")
        for name, data in self.shipped.items():
            put(self.inst, name, data)
        put(os.path.join(self.inst, "ctl3d"), "ctl3d32.dll", self.shipped_ctl3d)

    def install(self):
        self.ui.to_options("E:\\quillon")
        self.ui.next_until([1], DONE)
        self.ui.key("enter")
        self.assertEqual(self.ui.exit_code(timeout=60), 0)

    def test_newer_files_replace_older_ones_and_sx32w_always(self):
        put(self.sysdir, "msvcrt20.dll", versioned("dll", "2.11.4400"))
        put(self.sysdir, "msvcrt40.dll", versioned("dll", "4.2.6164"))      # 426164 < 4206164
        put(self.sysdir, "SX32W.DLL", versioned("dll", "9.99.0.9"))         # newer than the medium's
        put(self.windir, "TWAIN.DLL", versioned("dll", "1.6.9.9"))
        put(self.windir, "TWUNK_32.EXE", versioned("exe", "2.0.0.0"))        # newer: stays
        put(self.windir, "TWUNK_16.EXE", None)
        sys_twain = content(self.sysdir, "TWAIN.DLL")
        self.install()

        for name in ("msvcrt20.dll", "msvcrt40.dll", "SX32W.DLL"):
            self.assertEqual(content(self.sysdir, name), self.shipped[name], name)
        for name in ("TWAIN.DLL", "TWUNK_16.EXE"):
            self.assertEqual(content(self.windir, name), self.shipped[name], name)
        self.assertEqual(content(self.windir, "TWUNK_32.EXE"), versioned("exe", "2.0.0.0"))
        # The TWAIN files belong in the Windows directory only.
        self.assertEqual(content(self.sysdir, "TWAIN.DLL"), sys_twain)
        self.assertIsNone(find(self.sysdir, "TWUNK_16.EXE"))

    def test_older_or_equal_versions_are_kept(self):
        # Digits run together: 2.2.4202 is 224202, below 2.11.4400 (2114400).
        put(self.inst, "msvcrt20.dll", versioned("dll", "2.2.4202"))
        put(self.sysdir, "msvcrt20.dll", versioned("dll", "2.11.4400"))
        # Same number, other bytes: an equal version is no reason to copy.
        put(self.sysdir, "msvcrt40.dll", versioned("exe", "4.20.6164"))
        put(self.windir, "TWAIN_32.DLL", versioned("exe", "1.7.0.1"))
        self.install()
        self.assertEqual(content(self.sysdir, "msvcrt20.dll"), versioned("dll", "2.11.4400"))
        self.assertEqual(content(self.sysdir, "msvcrt40.dll"), versioned("exe", "4.20.6164"))
        self.assertEqual(content(self.windir, "TWAIN_32.DLL"), versioned("exe", "1.7.0.1"))
        self.assertEqual(content(self.sysdir, "SX32W.DLL"), self.shipped["SX32W.DLL"])

    def test_without_msvcrt20_on_the_medium_msvcrt40_is_not_installed(self):
        put(self.inst, "msvcrt20.dll", None)
        put(self.sysdir, "msvcrt40.dll", versioned("dll", "1.0"))
        self.install()
        self.assertEqual(content(self.sysdir, "msvcrt40.dll"), versioned("dll", "1.0"))
        self.assertEqual(content(self.sysdir, "SX32W.DLL"), self.shipped["SX32W.DLL"])

    def test_ctl3d_refusing_subclassing_ends_setup_before_any_page(self):
        ctl3d_dir = os.path.join(self.inst, "ctl3d")
        with open(os.path.join(harness.BUILD_DIR, "demo-content", "ctl3d-refuse", "ctl3d32.dll"), "rb") as f:
            refusing = f.read()
        put(ctl3d_dir, "ctl3d32.dll", refusing)
        put(self.sysdir, "ctl3d32.dll", versioned("dll", "1.0"))
        self.ui.start_setup()
        self.assertEqual(self.ui.raw("wait_page 60000 -", timeout=75), "err process exited")
        self.assertEqual(self.ui.exit_code(timeout=30), 1)
        self.assertEqual(content(self.sysdir, "ctl3d32.dll"), refusing)

        # Killed while it writes the library: the next start puts the earlier
        # one back first. Then the ordinary library, newer than the installed
        # one, is copied and setup runs.
        put(self.sysdir, "ctl3d32.dll", versioned("dll", "1.0"))
        for ctl3d, kill in ((self.shipped_ctl3d + bytes(128 << 20), True), (self.shipped_ctl3d, False)):
            self.ui.close()
            self.ui = self.prefix.session()
            self.addCleanup(self.ui.close)
            put(ctl3d_dir, "ctl3d32.dll", ctl3d)
            self.ui.start_setup()
            if kill:
                harness.when_written(self.prefix, 16 << 20, kill=True)
        self.ui.wait_page(harness.LANGUAGE, timeout=60)
        self.assertEqual(content(self.sysdir, "ctl3d32.dll"), self.shipped_ctl3d)
        self.assertEqual(find(self.sysdir, "~qskeep"), None)


class SystemFiles95(harness.WineTestCase):
    prefix_options = {"win95": True}

    def test_no_ctl3d_copied_on_windows_95(self):
        old = versioned("dll", "1.0")
        dirs = [self.prefix.unix_path("C:\\windows\\system32"), self.prefix.unix_path("C:\\windows\\system")]
        for d in dirs:
            put(d, "ctl3d32.dll", old)
        self.ui.start_setup()
        self.ui.wait_page(harness.LANGUAGE, timeout=60)
        for d in dirs:
            self.assertEqual(content(d, "ctl3d32.dll"), old, d)


if __name__ == "__main__":
    harness.main()
