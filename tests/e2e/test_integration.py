"""After the copy: the program-folder page against a recording Program Manager
(the exact commands sent, the group list it serves), Wine's own Program
Manager making the Start Menu links, and the registry entries value by value.

The cases run in name order and share one prefix: the second installation
finds the usage counts of the first."""
import glob
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import FOLDER, LANGUAGE, ONE_BUTTON_ALERT, OPTIONS  # noqa: E402

# Language button and the captions the cases wait for.
ENGLISH = (10, {"path": "Invalid Path", "folder": "Folder Selection", "done": "Installation Completed"})
GERMAN = (12, {"path": "Ungültiger Pfad", "folder": "Ordnerauswahl", "done": "Installation abgeschlossen"})

NT = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\"


def series(dst, group="Zelbrin Quillon"):
    def item(name):
        path = dst + "\\" + name
        return '"%s"' % path if " " in dst else path
    return ['[CreateGroup("%s")]' % group,
            '[ShowGroup("%s", 1)]' % group,
            "[DeleteItem(Quillon)]",
            "[DeleteItem(StartUp Guide)]",
            "[DeleteItem(Uninstall Quillon)]",
            "[DeleteItem(Read Me)]",
            "[DeleteItem(Module Installation)]",
            "[AddItem(%s, Quillon)]" % item("quillon.exe"),
            "[AddItem(%s, Uninstall Quillon)]" % item("uinstall.exe"),
            "[AddItem(%s, Read Me, write.exe, 0)]" % item("readme.wri")]


class Recorder:
    """progman_recorder in the prefix, serving `reply` as the group list."""

    def __init__(self, prefix, reply, silent=False):
        self.prefix = prefix
        self.files = {k: "C:\\rec\\%s.txt" % k for k in ("log", "reply", "stop", "conv")}
        for k in ("log", "stop", "conv"):
            p = prefix.unix_path(self.files[k])
            if os.path.exists(p):
                os.unlink(p)
        prefix.plant(self.files["reply"], reply.encode("cp1252"))
        exe = os.path.join(harness.TOOLS_DIR, "progman_recorder.exe")
        self.proc = subprocess.Popen(
            harness.PIN + ["wine", exe] + [self.files[k] for k in ("log", "reply", "stop", "conv")]
            + (["--silent"] if silent else []),
            env=prefix.env, stdout=subprocess.PIPE, stderr=prefix._log, text=True)
        line = self.proc.stdout.readline()
        if line.strip() != "ready":
            raise harness.HarnessError("progman_recorder did not start: %r" % line)

    def read(self, what):
        p = self.prefix.unix_path(self.files[what])
        if not os.path.exists(p):
            return []
        with open(p, encoding="cp1252") as f:
            return f.read().splitlines()

    def stop(self):
        self.prefix.plant(self.files["stop"], b"")
        try:
            self.proc.wait(20)
        except subprocess.TimeoutExpired:
            self.proc.kill()
        self.proc.stdout.close()


class Integration(harness.WineTestCase):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        # Wine also links the templates folder to $HOME: the drive search
        # would walk the host's home directory.
        for top, dirs, _ in os.walk(os.path.join(cls.prefix.path, "drive_c", "users")):
            for d in dirs:
                path = os.path.join(top, d)
                if os.path.islink(path):
                    os.unlink(path)
                    os.mkdir(path)

    def setUp(self):
        super().setUp()
        self.prefix.clear_drive("E")

    def start(self, reply=None, silent=False):
        """Setup on its language page; the recorder (if any) starts after the
        Wine desktop so that it, not Wine, receives the conversations."""
        self.ui.start_setup()
        self.ui.wait_page(LANGUAGE, timeout=60)
        rec = None
        if reply is not None:
            rec = Recorder(self.prefix, reply, silent)
            self.addCleanup(rec.stop)
        return rec

    def to_folder(self, dst, language=ENGLISH):
        button, self.captions = language
        self.ui.to_options(dst, button, self.captions["path"], start=False)
        self.next_until(FOLDER, self.captions["folder"])

    def next_until(self, ids, caption):
        """Next on each page (a space warning answered Continue) until the page wanted."""
        self.ui.next_until(ids, caption, timeout=240)

    def finish(self):
        self.ui.click(1)
        self.next_until([1, "!2", "!3"], self.captions["done"])
        self.ui.key("enter")
        self.ui.exit_code(timeout=30)

    def sz(self, root, key, value=""):
        got = self.ui.regread(root, key, value)
        if got is None:
            return None
        kind, text, size = got
        self.assertEqual(kind, "sz", key)
        # Stored with its terminating zero (the driver reads the value as UTF-16).
        self.assertEqual(size, 2 * (len(text) + 1), key)
        return text

    def counts(self):
        sysdir, windir = "C:\\windows\\system32", "C:\\windows"
        names = [sysdir + "\\msvcrt20.dll", sysdir + "\\msvcrt40.dll", sysdir + "\\sx32w.dll",
                 windir + "\\twain.dll", windir + "\\twain_32.dll", windir + "\\twunk_16.exe",
                 windir + "\\twunk_32.exe"]
        out = {}
        for n in names:
            got = self.ui.regread("HKLM", NT + "SharedDLLs", n)
            out[n] = got[1] if got and got[0] == "dword" else got
        return out

    # -- cases, in order

    def test_1_existing_group_blank_destination(self):
        # Another program's count and another viewer's .pcd, before the run.
        self.prefix.wine("reg", "add", "HKLM\\" + NT + "SharedDLLs", "/v", "C:\\windows\\twain.dll",
                         "/t", "REG_DWORD", "/d", "5", "/f")
        self.prefix.wine("reg", "add", "HKCR\\.pcd", "/ve", "/d", "otherpcd", "/f")
        rec = self.start("Accessories\r\nzelbrin QUILLON\r\nGames\r\nNo Feed After Me")
        self.to_folder("C:\\Program Files\\Quillon")
        self.shot("folder_en")

        # The list's spelling of the default group, selected; the unfinished line is not listed.
        self.assertEqual(self.ui.items(10), ["Accessories", "Games", "zelbrin QUILLON"])
        self.assertEqual(self.ui.cursel(10), 2)
        self.assertEqual(self.ui.text(11), "zelbrin QUILLON")
        self.assertEqual(rec.read("log"), [])

        self.ui.settext(11, "GAMES")
        self.assertEqual(self.ui.cursel(10), 1)
        self.ui.settext(11, "Brand New")
        self.assertEqual(self.ui.cursel(10), -1)

        # Back and forward again: the name is the default once more.
        self.ui.click(3)
        self.ui.wait_page(OPTIONS)
        self.ui.click(1)
        self.next_until(FOLDER, self.captions["folder"])
        self.assertEqual(self.ui.text(11), "zelbrin QUILLON")

        # A name that cannot be a folder is refused and kept as typed.
        page = self.ui.hwnd
        self.ui.settext(11, "a/b")
        self.ui.click(1)
        self.assertEqual(self.ui.wait_page(ONE_BUTTON_ALERT), "Invalid Folder Name")
        self.ui.click(1)
        self.ui.wait_page(FOLDER, "Folder Selection")
        self.assertEqual(self.ui.hwnd, page)
        self.assertEqual(self.ui.text(11), "a/b")

        self.ui.settext(11, "Zelbrin Quillon")
        self.assertEqual(self.ui.cursel(10), 2)
        self.finish()

        dst = "C:\\Program Files\\Quillon"
        self.assertEqual(rec.read("log"), series(dst))
        # Two visits of the page ask for the list; then one conversation per batch.
        self.assertEqual(rec.read("conv").count("connect"), 7)

        cls = {
            ".qlx": "qlxfile", "qlxfile": "Quillon Document",
            "qlxfile\\shell\\open\\command": '"%s\\quillon.exe" "%%1"' % dst,
            "qlxfile\\DefaultIcon": dst + "\\quillon.exe ,1",
            ".qpr": "qprfile", "qprfile": "Quillon Setup",
            "qprfile\\shell\\open\\command": '"%s\\quillon.exe" "%%1"' % dst,
            "qprfile\\DefaultIcon": dst + "\\quillon.exe ,2",
            ".pcd": "pcdfile", "pcdfile": "Kodak PhotoCD",
            "pcdfile\\shell\\open\\command": '"%s\\lumen.exe" "%%1"' % dst,
            "pcdfile\\DefaultIcon": dst + "\\lumen.exe ,1",
        }
        for key, data in cls.items():
            self.assertEqual(self.sz("HKCR", key), data, key)
        templates = self.ui.regread(
            "HKCU", "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", "Templates")
        expect = templates[1] + "\\default.qlx" if templates else None
        self.assertEqual(self.sz("HKCR", ".qlx\\ShellNew", "Filename"), expect)
        self.assertEqual(self.sz("HKLM", NT + "App Paths\\QUILLON.EXE"), dst + "\\quillon.exe")
        self.assertEqual(self.sz("HKLM", NT + "App Paths\\QUILLON.EXE", "Path"), dst)
        self.assertEqual(self.sz("HKLM", NT + "Uninstall\\Quillon", "DisplayName"), "Zelbrin Quillon")
        # An existing group is not named to the uninstaller.
        self.assertEqual(self.sz("HKLM", NT + "Uninstall\\Quillon", "UnInstallString"),
                         '"%s\\uinstall.exe" /SILENT' % dst)
        counts = self.counts()
        self.assertEqual(counts.pop("C:\\windows\\twain.dll"), 6)
        self.assertEqual(set(counts.values()), {1}, counts)

    def test_2_new_group_plain_destination(self):
        rec = self.start("Accessories\r\n")
        self.to_folder("C:\\QUILLON")
        self.assertEqual(self.ui.items(10), ["Accessories"])
        self.assertEqual(self.ui.cursel(10), -1)
        self.assertEqual(self.ui.text(11), "Zelbrin Quillon")
        self.finish()

        self.assertEqual(rec.read("log"), series("C:\\QUILLON"))
        self.assertEqual(self.sz("HKCR", "qlxfile\\shell\\open\\command"), 'C:\\QUILLON\\quillon.exe "%1"')
        self.assertEqual(self.sz("HKLM", NT + "Uninstall\\Quillon", "UnInstallString"),
                         'C:\\QUILLON\\uinstall.exe /SILENT /GROUP:"Zelbrin Quillon"')
        counts = self.counts()
        self.assertEqual(counts.pop("C:\\windows\\twain.dll"), 7)
        self.assertEqual(set(counts.values()), {2}, counts)

    def links(self):
        drive_c = self.prefix.unix_path("C:\\")
        found = []
        for top in ("users", "ProgramData"):
            found += glob.glob(os.path.join(drive_c, top, "**", "Start Menu", "Programs",
                                            "Zelbrin Quillon", "*.lnk"), recursive=True)
        return {os.path.basename(p) for p in found}

    def test_3_wine_program_manager_makes_the_links(self):
        self.start()
        self.to_folder("E:\\Quillon")
        self.finish()
        self.assertTrue(os.path.exists(self.prefix.unix_path("E:\\Quillon\\readme.wri")))
        self.assertEqual(self.links(), {"Quillon.lnk", "Uninstall Quillon.lnk", "Read Me.lnk"})

    def test_4_german_run_adds_localized_links(self):
        self.start()
        self.to_folder("E:\\Quillon", GERMAN)
        self.finish()
        # Deletions name the items in the run's language: the English ones of the
        # earlier run stay beside the German ones.
        self.assertEqual(self.links(), {"Quillon.lnk", "Quillon Deinstallation.lnk", "Liesmich.lnk",
                                        "Uninstall Quillon.lnk", "Read Me.lnk"})

    def test_5_silent_program_manager_does_not_stop_the_installation(self):
        rec = self.start("Accessories\r\n", silent=True)
        started = time.time()
        self.to_folder("E:\\Silent")
        self.assertEqual(self.ui.items(10), [])
        self.assertEqual(self.ui.text(11), "Zelbrin Quillon")
        self.finish()
        harness.log("run with a silent Program Manager took %.0f s" % (time.time() - started))
        self.assertTrue(rec.read("conv"))
        # Nothing was listed, so the group counts as new.
        self.assertEqual(self.sz("HKLM", NT + "Uninstall\\Quillon", "UnInstallString"),
                         'E:\\Silent\\uinstall.exe /SILENT /GROUP:"Zelbrin Quillon"')

    def test_6_killed_while_program_manager_gets_the_group_is_finished_at_the_next_start(self):
        before = self.counts()
        rec = self.start("Accessories\r\n")
        self.to_folder("E:\\Killed")
        self.ui.click(1)
        deadline = time.time() + 240
        while not rec.read("log"):
            self.assertLess(time.time(), deadline, "no command reached Program Manager")
            time.sleep(0.01)
        self.ui.cmd("kill")
        self.ui.close()
        self.ui = self.prefix.session()
        self.addCleanup(self.ui.close)
        self.ui.start_setup()
        self.ui.wait_page(LANGUAGE, timeout=120)
        # The group was sent whole once more, the registry entries written,
        # and every count raised once for the one installation.
        self.assertEqual(rec.read("log")[-len(series("E:\\Killed")):], series("E:\\Killed"))
        self.assertEqual(self.sz("HKLM", NT + "App Paths\\QUILLON.EXE"), "E:\\Killed\\quillon.exe")
        self.assertEqual(self.sz("HKLM", NT + "Uninstall\\Quillon", "UnInstallString"),
                         'E:\\Killed\\uinstall.exe /SILENT /GROUP:"Zelbrin Quillon"')
        self.assertEqual(self.counts(), {n: c + 1 for n, c in before.items()})
        self.assertFalse(os.path.exists(self.prefix.unix_path("C:\\windows\\qsetup.rec")))


if __name__ == "__main__":
    harness.main()
