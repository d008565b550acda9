"""The uninstaller, end to end: the real setup installs, the real
uninstaller (uinstall.exe from the demo medium) removes. Afterwards the
drive, the registry (every key setup writes) and Program Manager's groups
are exactly as before the installation, but for the user's own and changed
files, the shared libraries left in the Windows and system directories and
the uninstaller's copy in the temporary directory, which goes at the next
restart.

The cases run in name order and share one prefix; each compares with its
own state before its installation."""
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import FOLDER, FOUND, LANGUAGE, ONE_BUTTON_ALERT, OPTIONS, YES_NO_ALERT  # noqa: E402
from test_integration import Recorder  # noqa: E402

UN = harness.resource_ids(os.path.join(harness.SOURCE_DIR, "uninstall", "ids.h"))
NT = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\"
KEYS = ["HKLM\\" + NT + k for k in ("SharedDLLs", "App Paths\\QUILLON.EXE", "Uninstall\\Quillon")] + \
       ["HKCR\\" + k for k in (".qlx", "qlxfile", ".qpr", "qprfile", ".pcd", "pcdfile")]
SHARED = {"windows/system32/" + n for n in ("msvcrt20.dll", "msvcrt40.dll", "sx32w.dll", "ctl3d32.dll")} | \
         {"windows/" + n for n in ("twain.dll", "twain_32.dll", "twunk_16.exe", "twunk_32.exe")}
COUNTED = ["C:\\windows\\system32\\" + n for n in ("msvcrt20.dll", "msvcrt40.dll", "sx32w.dll")] + \
          ["C:\\windows\\" + n for n in ("twain.dll", "twain_32.dll", "twunk_16.exe", "twunk_32.exe")]
ENGLISH = (10, {"path": "Invalid Path", "folder": "Folder Selection", "done": "Installation Completed",
                "uninstall": "Uninstall Quillon", "held": "File in Use"})
GERMAN = (12, {"path": "Ungültiger Pfad", "folder": "Ordnerauswahl", "done": "Installation abgeschlossen",
               "uninstall": "Quillon Deinstallation", "held": "Datei in Verwendung"})
RECORD = "C:\\windows\\quninst.rec"
# What the removal leaves of a running program in E:\Quillon: its file, renamed
# aside, waits for the restart in Setup's keep folder, which keeps its mark.
KEEP_LEFT = ["E:/Quillon/~qskeep", "E:/Quillon/~qskeep/qsetup.own", "E:/Quillon/~qskeep/gone",
             "E:/Quillon/~qskeep/gone/0-quillon.exe"]


class Uninstall(harness.WineTestCase):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        # Where setup puts the template for new documents; Wine has none of its own.
        os.makedirs(cls.prefix.unix_path("C:\\windows\\ShellNew"), exist_ok=True)

    # -- state

    def registry(self):
        """Every key setup writes, with all below it: reg's listing, or None when absent."""
        out = {}
        for key in KEYS:
            for _attempt in range(3):
                r = subprocess.run(harness.PIN + ["wine", "reg", "query", key, "/s"], env=self.prefix.env,
                                   cwd=self.prefix.unix_path("C:\\"), capture_output=True, text=True,
                                   timeout=120)
                if r.returncode == 0 or "unable to find" in r.stdout.lower():
                    break
                harness.log("reg query %s failed (%d): %s" % (key, r.returncode, r.stderr.strip()))
            else:
                self.fail("cannot read %s: %s" % (key, r.stderr))
            out[key] = r.stdout if r.returncode == 0 else None
        return out

    def state(self):
        return {"C": harness.tree_state(self.prefix.unix_path("C:\\")),
                "E": harness.tree_state(self.prefix.e_drive), "reg": self.registry()}

    def pending_restart(self):
        r = self.prefix.wine("reg", "query", "HKLM\\System\\CurrentControlSet\\Control\\Session Manager",
                             "/v", "PendingFileRenameOperations", check=False)
        return r.stdout.lower() if r.returncode == 0 else ""

    def assert_as_before(self, before, allowed=(), registry_allowed=()):
        """The drive and the registry as in before, but for the paths allowed
        ("E:/..." or "C:/..."), the shared libraries and the uninstaller's
        copies, each of which must wait for the restart that removes it."""
        now = self.state()
        pending = self.pending_restart()
        for drive in ("C", "E"):
            for path in harness.tree_changes(before[drive], now[drive]):
                low = path.lower().replace(os.sep, "/")
                if drive == "C" and low in SHARED:
                    continue
                if drive == "C" and low.startswith("users/") and "/temp/qun" in low:
                    self.assertNotIn(path, before[drive])
                    self.assertIn(os.path.basename(low), pending, "%s is not removed at the restart" % path)
                    continue
                if drive == "C" and (low == "rec" or low.startswith("rec/")):
                    continue   # the recording Program Manager's files
                self.assertIn("%s:/%s" % (drive, path.replace(os.sep, "/")), allowed, "changed: %s:/%s" % (drive, path))
        for key in KEYS:
            if key not in registry_allowed:
                self.assertEqual(before["reg"][key], now["reg"][key], key)
        self.assertFalse(os.path.exists(self.prefix.unix_path(RECORD)))

    def counts(self):
        out = {}
        for name in COUNTED:
            got = self.ui.regread("HKLM", NT + "SharedDLLs", name)
            out[name] = got[1] if got else None
        return out

    # -- setup and the uninstaller

    def install(self, dst, language=ENGLISH, recorder_reply=None):
        button, self.captions = language
        self.ui.start_setup()
        self.ui.wait_page(LANGUAGE, timeout=60)
        rec = None
        if recorder_reply is not None:
            rec = Recorder(self.prefix, recorder_reply)
            self.addCleanup(rec.stop)
        self.ui.to_options(dst, button, self.captions["path"], start=False)
        self.finish_setup()
        return rec

    def finish_setup(self):
        self.ui.next_until(FOLDER, self.captions["folder"], timeout=240)
        self.ui.click(1)
        self.ui.next_until([1, "!2", "!3"], self.captions["done"], timeout=240)
        self.ui.key("enter")
        self.ui.exit_code(timeout=30)
        self.reset_ui()

    def reset_ui(self):
        self.ui.close()
        self.ui = self.prefix.session()
        self.addCleanup(self.ui.close)

    def entry(self):
        got = self.ui.regread("HKLM", NT + "Uninstall\\Quillon", "UnInstallString")
        return got[1] if got else None

    def copies_gone(self, timeout=60):
        """Waits until no copy of the uninstaller (qun*.tmp) runs in the prefix."""
        want = ("WINEPREFIX=" + self.prefix.path).encode()
        deadline = time.time() + timeout
        while time.time() < deadline:
            running = False
            for pid in filter(str.isdigit, os.listdir("/proc")):
                try:
                    with open("/proc/%s/cmdline" % pid, "rb") as f:
                        cmd = f.read().lower()
                    with open("/proc/%s/environ" % pid, "rb") as f:
                        env = f.read().split(b"\0")
                except OSError:
                    continue
                running = running or (want in env and b"\\qun" in cmd and b".tmp" in cmd)
            if not running:
                return
            time.sleep(0.1)
        self.fail("the uninstaller's copy did not end")

    def start_uninstaller(self, command, cwd="C:\\", exe=None):
        """Starts a command line as Windows would ("exe" args), or a program
        without arguments (the group's item), and follows the copy the
        uninstaller makes of itself."""
        args = ""
        if exe is None:
            exe, _, args = command[1:].partition('"') if command.startswith('"') else command.partition(" ")
        self.ui.cmd("start %s|%s|%s" % (exe, cwd, args.strip()))
        self.ui.cmd("adopt 20000")

    def run_silent(self, command):
        self.start_uninstaller(command)
        code = self.ui.exit_code(timeout=120)
        self.copies_gone()
        return code

    def answer_question(self, button, shot=None):
        self.assertEqual(self.ui.wait_page(YES_NO_ALERT, timeout=60), self.captions["uninstall"])
        if shot:
            self.shot(shot)
        self.ui.click(button)

    def texts(self):
        return [c["text"] for c in self.ui.controls()]

    # -- cases, in order

    def test_1_entry_command_line_leaves_the_users_document(self):
        before = self.state()
        self.install("C:\\Program Files\\Quillon")
        dst = self.prefix.unix_path("C:\\Program Files\\Quillon")
        self.assertTrue(os.path.isfile(os.path.join(dst, "uinstall.lst")))
        self.assertTrue(os.path.isfile(self.prefix.unix_path("C:\\windows\\ShellNew\\default.qlx")))
        self.assertTrue(self.links())
        self.prefix.plant("C:\\Program Files\\Quillon\\my letter.qlx", b"Dear reader")
        command = self.entry()
        self.assertEqual(command, '"C:\\Program Files\\Quillon\\uinstall.exe" /SILENT /GROUP:"Zelbrin Quillon"')

        self.assertEqual(self.run_silent(command), 0)
        self.assertEqual(os.listdir(dst), ["my letter.qlx"])
        self.assertFalse(self.links())
        self.assert_as_before(before, {"C:/Program Files/Quillon", "C:/Program Files/Quillon/my letter.qlx"})

        # A second uninstall (the program put back by hand) finds nothing but itself.
        medium = os.path.join(self.prefix.medium, "quillon", "USA", "Win95")
        for name in ("uinstall.exe", "uinstall.lst"):
            shutil.copyfile(os.path.join(medium, name), os.path.join(dst, name))
        self.reset_ui()
        self.start_uninstaller(None, "C:\\Program Files\\Quillon",
                               exe="C:\\Program Files\\Quillon\\uinstall.exe")
        self.assertEqual(self.ui.wait_page(ONE_BUTTON_ALERT, timeout=60), "Uninstall Quillon")
        self.assertIn("There is nothing to remove: Zelbrin Quillon is not installed in this directory.",
                      self.texts())
        self.ui.click(1)
        self.assertEqual(self.ui.exit_code(timeout=60), 0)
        self.copies_gone()
        self.assertEqual(os.listdir(dst), ["my letter.qlx"])

    def links(self):
        found = []
        for top, _dirs, files in os.walk(self.prefix.unix_path("C:\\users")):
            if "Zelbrin Quillon" in top.split(os.sep):
                found += files
        return found

    def test_2_group_item_in_german_asks_first_and_keeps_a_changed_file(self):
        before = self.state()
        self.install("E:\\Quillon", GERMAN)
        self.assertTrue(os.path.isfile(os.path.join(self.prefix.e_drive, "Quillon", "hilfe", "quillon.hlp")))
        with open(os.path.join(self.prefix.e_drive, "Quillon", "hilfe", "quillon.hlp"), "ab") as f:
            f.write(b"my own note")
        self.prefix.plant("E:\\Quillon\\brief.qlx", b"Sehr geehrte Damen und Herren")
        installed = self.state()

        # The group's item: no arguments, the question answered No, nothing changes.
        self.start_uninstaller(None, "E:\\Quillon", exe="E:\\Quillon\\uinstall.exe")
        self.answer_question(2, "question_de")
        self.assertEqual(self.ui.exit_code(timeout=60), 1)
        self.copies_gone()
        self.assert_as_before(installed)

        # Yes, with the program running: its file can be renamed but not
        # deleted, and the list says that it goes at the restart.
        self.reset_ui()
        program = subprocess.Popen(harness.PIN + ["wine", "E:\\Quillon\\quillon.exe"], env=self.prefix.env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(program.wait)
        self.addCleanup(os.kill, harness.wine_process(self.prefix, "quillon.exe"), 9)
        time.sleep(2)   # mapped and showing its window
        self.start_uninstaller(None, "E:\\Quillon", exe="E:\\Quillon\\uinstall.exe")
        self.answer_question(1)
        self.assertEqual(self.ui.wait_page([1, UN.IDC_UALERT_LIST], timeout=60), "Quillon Deinstallation")
        self.shot("left_de")
        self.assertEqual(self.ui.items(UN.IDC_UALERT_LIST),
                         ["brief.qlx", "hilfe\\quillon.hlp",
                          "~qskeep\\gone\\0-quillon.exe (wird beim Neustart von Windows entfernt)",
                          "~qskeep\\qsetup.own"])
        self.ui.click(1)
        self.assertEqual(self.ui.exit_code(timeout=60), 0)
        self.copies_gone()
        self.assertIn("\\??\\e:\\quillon\\~qskeep\\gone\\0-quillon.exe\\0", self.pending_restart())
        self.assert_as_before(before, {"E:/Quillon", "E:/Quillon/brief.qlx", "E:/Quillon/hilfe",
                                       "E:/Quillon/hilfe/quillon.hlp"} | set(KEEP_LEFT))

    def test_3_held_file_and_killed_uninstall(self):
        before = self.state()
        self.install("E:\\Held")
        installed = self.state()
        command = self.entry()
        held = "E:\\Held\\help\\quillon.hlp"

        # Killed at the question about a file another program holds: the
        # files renamed aside so far are in the keep directories, on record.
        self.ui.cmd("holdread " + held)
        self.start_uninstaller(command)
        self.assertEqual(self.ui.wait_page([1, 2, 3], self.captions["held"], timeout=60), self.captions["held"])
        self.assertEqual(self.ui.text(20), held)
        self.shot("held_en")
        self.ui.cmd("kill")
        self.ui.exit_code(timeout=30)
        self.copies_gone()
        self.ui.cmd("release")
        self.assertTrue(os.path.exists(self.prefix.unix_path(RECORD)))
        self.assertFalse(os.path.exists(self.prefix.unix_path("E:\\Held\\clipart\\sun.bmp")))

        # The next start puts them back before it asks; No leaves the installation whole.
        self.reset_ui()
        self.start_uninstaller(None, "E:\\Held", exe="E:\\Held\\uinstall.exe")
        self.answer_question(2)
        self.assertEqual(self.ui.exit_code(timeout=60), 1)
        self.copies_gone()
        self.assert_as_before(installed)

        # Held again and let go: Retry goes on.
        self.reset_ui()
        self.ui.cmd("holdread " + held)
        self.start_uninstaller(command)
        self.ui.wait_page([1, 2, 3], self.captions["held"], timeout=60)
        self.ui.cmd("release")
        self.ui.click(3)
        self.assertEqual(self.ui.exit_code(timeout=60), 0)
        self.copies_gone()
        self.assert_as_before(before)

    def test_4_after_an_update_into_an_existing_group(self):
        before = self.state()
        counts = self.counts()
        group = "Zelbrin Quillon"
        rec = self.install("E:\\Upd", recorder_reply="Accessories\r\n%s\r\n" % group)
        # The update: the found installation, its settings file kept.
        self.ui.past_welcome()
        self.ui.wait_page(FOUND, timeout=240)
        self.ui.select(10, self.ui.items(10).index("E:\\Upd"))
        self.ui.click(1)
        if self.ui.try_wait_page(YES_NO_ALERT, "QUILLON.QPR", timeout=10) is not None:
            self.ui.click(1)
        self.ui.wait_page(OPTIONS, timeout=30)
        self.finish_setup()
        command = self.entry()
        self.assertEqual(command, "E:\\Upd\\uinstall.exe /SILENT")

        # The group existed before setup: only the items leading here go.
        items = ['"%s",C:\\windows\\zelbrin.grp,4' % group,
                 '"Quillon","E:\\Upd\\quillon.exe",E:\\Upd,E:\\Upd\\quillon.exe,0,0,0,0,0',
                 '"Uninstall Quillon","E:\\Upd\\uinstall.exe",E:\\Upd,E:\\Upd\\uinstall.exe,0,0,0,0,0',
                 '"Read Me","E:\\Upd\\readme.wri",E:\\Upd,write.exe,0,0,0,0,0',
                 '"Other Tool","C:\\tools\\other.exe",C:\\tools,C:\\tools\\other.exe,0,0,0,0,0']
        self.prefix.plant(rec.files["reply"] + "." + group, ("\r\n".join(items) + "\r\n").encode("cp1252"))
        sent = len(rec.read("log"))
        self.assertEqual(self.run_silent(command), 0)
        self.assertEqual(rec.read("log")[sent:], ['[ShowGroup("%s", 1)]' % group, "[DeleteItem(Quillon)]",
                                                  "[DeleteItem(Uninstall Quillon)]", "[DeleteItem(Read Me)]"])
        # Two installations raised each count twice; one uninstall lowers it once.
        self.assertEqual(self.counts(), {n: (c or 0) + 1 for n, c in counts.items()})
        self.assert_as_before(before, registry_allowed={KEYS[0]})

    def test_5_never_beside_a_setup_and_over_a_left_keep_folder(self):
        """A setup started while an uninstall asks is refused, and so is an
        uninstall started while a setup shows a page, before either reads or
        changes anything. Into the directory case 2 left: setup installs
        beside the keep folder the running program left, and the uninstall
        takes that folder over and clears it."""
        before = self.state()
        self.install("E:\\Quillon")
        installed = self.state()
        command = self.entry()

        self.start_uninstaller(None, "E:\\Quillon", exe="E:\\Quillon\\uinstall.exe")
        self.assertEqual(self.ui.wait_page(YES_NO_ALERT, timeout=60), "Uninstall Quillon")
        setup = self.prefix.session()
        self.addCleanup(setup.close)
        setup.start_setup()
        self.assertEqual(setup.wait_page(ONE_BUTTON_ALERT, timeout=60), "Setup Is Already Running")
        setup.answer(1)
        self.assertEqual(setup.exit_code(timeout=30), 0)
        self.ui.click(2)
        self.assertEqual(self.ui.exit_code(timeout=60), 1)
        self.copies_gone()

        setup = self.prefix.session()
        self.addCleanup(setup.close)
        setup.start_setup()
        setup.wait_page(LANGUAGE, timeout=60)
        self.reset_ui()
        self.start_uninstaller(command)   # /SILENT: it still says why it did nothing
        self.assertEqual(self.ui.wait_page(ONE_BUTTON_ALERT, timeout=60), "Uninstall Quillon")
        self.shot("running_en")
        self.assertIn("Quillon® Setup or another uninstall is running on this computer. Only one of them can "
                      "run at a time: finish the other one, then start the uninstall again. Nothing has "
                      "been removed.", self.texts())
        self.ui.click(1)
        self.assertEqual(self.ui.exit_code(timeout=60), 4)
        self.copies_gone()
        self.assert_as_before(installed)
        setup.click(2)
        setup.wait_page(YES_NO_ALERT, "Exit the Setup Program")
        setup.click(1)
        self.assertEqual(setup.exit_code(timeout=30), 0)

        self.reset_ui()
        self.assertEqual(self.run_silent(command), 0)
        self.assertFalse(os.path.exists(self.prefix.unix_path("E:\\Quillon\\~qskeep")))
        self.assert_as_before(before, KEEP_LEFT)


if __name__ == "__main__":
    harness.main()
