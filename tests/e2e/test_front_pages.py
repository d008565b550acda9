"""The front of the wizard on the real setup.exe: language and welcome pages,
the search for earlier installations, the previous-installations page, the
destination page, Cancel, and the completion page."""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import DEST, FOUND, LANGUAGE, ONE_BUTTON_ALERT, OPTIONS, WELCOME, YES_NO_ALERT  # noqa: E402

# The search walks all of C: (Wine's ~1,000 files); on a loaded machine that
# has taken over a minute.
SEARCH_TIMEOUT = 240

CURRENT_VERSION = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion"


def plain(label):
    return label.replace("&", "")


class FrontPages(harness.WineTestCase):

    def setUp(self):
        super().setUp()
        self.prefix.clear_drive("E")

    # -- helpers

    def start(self):
        self.ui.start_setup()
        self.assertEqual(self.ui.wait_page(LANGUAGE, timeout=60), "Language Selection")

    def to_welcome(self, language_button=10):
        self.start()
        self.ui.click(language_button)
        self.ui.click(1)
        return self.ui.wait_page(WELCOME)

    def to_found(self):
        self.to_welcome()
        self.ui.click(1)
        self.ui.wait_page(FOUND, timeout=SEARCH_TIMEOUT)

    def set_program_files(self, value):
        self.prefix.wine("reg", "add", CURRENT_VERSION, "/v", "ProgramFilesDir", "/d", value, "/f")
        self.addCleanup(self.prefix.wine, "reg", "add", CURRENT_VERSION, "/v", "ProgramFilesDir",
                        "/d", "C:\\Program Files", "/f")

    def cancel_run(self):
        """Cancel on the current page, confirmed: the process must end."""
        self.ui.click(2)
        self.ui.wait_page(YES_NO_ALERT)
        self.ui.click(1)
        self.ui.exit_code(timeout=20)

    def next_until_complete(self):
        """Next on every page up to the completion page; a space warning is
        answered Continue (1)."""
        self.ui.next_until([1], "Installation Completed", timeout=300)

    def assert_stays(self, ids, seconds=1.5):
        """The page is still the active dialog after a while."""
        hwnd = self.ui.hwnd
        time.sleep(seconds)
        self.ui.wait_page(ids, timeout=2)
        self.assertEqual(self.ui.hwnd, hwnd)

    # -- language page and Cancel

    def test_english_first_pass_and_cancel(self):
        self.start()
        self.shot("language")
        self.assertEqual(self.ui.checked(10), 1)
        self.assertTrue(self.ui.enabled(11) and self.ui.enabled(12))
        self.assertFalse(any(self.ui.enabled(i) for i in (3, 13, 14, 15, 16)))

        shell = [w for w in self.ui.windows() if w["class"] == "install_wnd"]
        self.assertEqual(len(shell), 1)
        self.assertEqual(shell[0]["text"], "Quillon Setup")
        width, height = self.ui.metrics()[:2]
        self.assertEqual(shell[0]["rect"], [50, 50, width - 50, height - 50])

        page = self.ui.hwnd
        self.ui.click(2)
        self.assertEqual(self.ui.wait_page(YES_NO_ALERT), "Exit the Setup Program")
        self.assertEqual([plain(self.ui.text(1)), plain(self.ui.text(2))], ["Yes", "No"])
        self.shot("alert1_en")
        self.ui.click(2)
        self.ui.wait_page(LANGUAGE)
        self.assertEqual(self.ui.hwnd, page)
        # Esc on an alert answers with its second button.
        self.ui.click(2)
        self.ui.wait_page(YES_NO_ALERT)
        self.ui.key("esc")
        self.ui.wait_page(LANGUAGE)
        self.assertEqual(self.ui.hwnd, page)
        self.cancel_run()

    def test_german_then_back_keeps_german(self):
        title = self.to_welcome(language_button=12)
        self.assertNotEqual(title, "Welcome")
        self.shot("welcome_de")
        self.ui.click(3)
        self.assertEqual(self.ui.wait_page(LANGUAGE), "Language Selection")
        self.assertEqual([self.ui.checked(i) for i in (10, 11, 12)], [0, 0, 1])
        self.ui.click(2)
        caption = self.ui.wait_page(YES_NO_ALERT)
        self.shot("alert1_de")
        self.assertNotEqual(caption, "Exit the Setup Program")
        self.assertEqual([plain(self.ui.text(1)), plain(self.ui.text(2))], ["Ja", "Nein"])
        self.ui.click(1)
        self.ui.exit_code(timeout=20)

    def test_welcome_cancel_no_keeps_page(self):
        self.to_welcome()
        self.shot("welcome_en")
        page = self.ui.hwnd
        self.ui.click(2)
        self.ui.wait_page(YES_NO_ALERT, "Exit the Setup Program")
        self.ui.click(2)
        self.ui.wait_page(WELCOME)
        self.assertEqual(self.ui.hwnd, page)
        self.cancel_run()

    # -- search and previous-installations page

    def test_search_lists_fixed_disk_hits_only(self):
        medium_hits = [os.path.join(d, f) for d, _, files in os.walk(self.prefix.medium)
                       for f in files if f.lower() == "quillon.exe"]
        self.assertTrue(medium_hits, "the CD should hold a quillon.exe the search must not find")
        self.prefix.plant("E:\\QUILLON.EXE")
        self.prefix.plant("E:\\apps\\deep\\nested\\Quillon.Exe")
        # A directory of that name is walked, not listed.
        self.prefix.plant("E:\\odd\\quillon.exe\\quillon.exe")
        # A link back up the tree (as in profiles) shows nothing twice.
        os.symlink("..", self.prefix.unix_path("E:\\apps\\loop"))
        self.to_found()
        self.shot("found_en")
        self.assertEqual(self.ui.items(10), ["E:\\", "E:\\apps\\deep\\nested", "E:\\odd\\quillon.exe"])
        self.assertEqual(self.ui.cursel(10), 0)
        self.assertEqual([self.ui.checked(11), self.ui.checked(12)], [1, 0])
        self.assertTrue(self.ui.enabled(10))

        self.ui.select(10, 2)
        self.ui.click(12)
        self.assertFalse(self.ui.enabled(10))
        self.ui.click(11)
        self.assertTrue(self.ui.enabled(10))
        self.assertEqual(self.ui.cursel(10), 2)

        # Back and Next again reuse the first search: a new hit stays unseen.
        self.prefix.plant("E:\\later\\quillon.exe")
        self.ui.click(3)
        self.ui.wait_page(WELCOME)
        self.ui.click(1)
        self.ui.wait_page(FOUND, timeout=10)
        self.assertEqual(self.ui.items(10), ["E:\\", "E:\\apps\\deep\\nested", "E:\\odd\\quillon.exe"])
        self.cancel_run()

    def test_update_keeps_or_overwrites_settings_file(self):
        self.prefix.plant("E:\\old\\quillon.exe")
        qpr = self.prefix.plant("E:\\old\\quillon.qpr", b"settings")
        self.prefix.plant("E:\\plain\\quillon.exe")
        self.to_found()
        self.assertEqual(self.ui.items(10), ["E:\\old", "E:\\plain"])

        # No settings file: no question, and the destination page is skipped.
        self.ui.select(10, 1)
        self.ui.click(1)
        self.ui.wait_page(OPTIONS, timeout=30)
        self.ui.click(3)
        self.ui.wait_page(FOUND)

        self.ui.select(10, 0)
        self.ui.click(1)
        self.assertEqual(self.ui.wait_page(YES_NO_ALERT), "QUILLON.QPR file already exists")
        self.assertEqual([plain(self.ui.text(1)), plain(self.ui.text(2))], ["Keep", "Overwrite"])
        self.shot("alert13_en")
        self.ui.click(1)
        self.ui.wait_page(OPTIONS, timeout=30)
        self.next_until_complete()
        self.ui.click(1)
        self.ui.exit_code(timeout=30)
        with open(qpr, "rb") as f:
            self.assertEqual(f.read(), b"settings")

        # Esc answers the question with its second button, "Overwrite".
        self.ui.close()
        self.ui = self.prefix.session()
        self.addCleanup(self.ui.close)
        self.to_found()
        self.ui.select(10, self.ui.items(10).index("E:\\old"))
        self.ui.click(1)
        self.ui.wait_page(YES_NO_ALERT, "QUILLON.QPR file already exists")
        self.ui.key("esc")
        self.ui.wait_page(OPTIONS, timeout=30)
        self.next_until_complete()
        self.ui.click(1)
        self.ui.exit_code(timeout=30)
        with open(qpr, "rb") as f:
            self.assertNotIn(f.read(), (b"settings", b""))

    def test_install_new_and_default_destination(self):
        self.prefix.plant("E:\\quillon\\quillon.exe")
        self.to_found()
        self.ui.click(12)
        self.ui.click(1)
        self.ui.wait_page(DEST)
        self.shot("dest_en")
        self.assertEqual(self.ui.text(11), "C:\\Program Files\\Quillon")
        self.ui.click(3)
        self.ui.wait_page(FOUND)
        self.assertEqual([self.ui.checked(11), self.ui.checked(12)], [0, 1])
        self.assertFalse(self.ui.enabled(10))
        self.cancel_run()

    # -- destination page

    def test_destination_from_registry_created_on_yes(self):
        self.set_program_files("E:\\one\\two")
        self.to_welcome()
        self.ui.click(1)
        self.ui.wait_page(DEST, timeout=SEARCH_TIMEOUT)
        self.assertEqual(self.ui.text(11), "E:\\one\\two\\Quillon")
        page = self.ui.hwnd

        self.ui.click(1)
        self.assertEqual(self.ui.wait_page(YES_NO_ALERT), "Invalid Path")
        self.ui.click(2)
        self.ui.wait_page(DEST)
        self.assertEqual(self.ui.hwnd, page)
        self.assertFalse(os.path.exists(self.prefix.unix_path("E:\\one")))

        self.ui.click(1)
        self.ui.wait_page(YES_NO_ALERT, "Invalid Path")
        self.ui.click(1)
        self.ui.wait_page(OPTIONS, timeout=30)
        self.assertTrue(os.path.isdir(self.prefix.unix_path("E:\\one\\two\\Quillon")))
        # A confirmed Cancel keeps what the destination page created.
        self.cancel_run()
        self.assertTrue(os.path.isdir(self.prefix.unix_path("E:\\one\\two\\Quillon")))

    def test_impossible_destination_gives_alert_2(self):
        # A level of the path is a file: it can never become a directory.
        self.prefix.plant("E:\\blocked", b"file")
        self.set_program_files("E:\\blocked\\sub")
        self.to_welcome()
        self.ui.click(1)
        self.ui.wait_page(DEST, timeout=SEARCH_TIMEOUT)
        self.ui.click(1)
        self.ui.wait_page(YES_NO_ALERT, "Invalid Path")
        self.ui.click(1)
        self.assertEqual(self.ui.wait_page(ONE_BUTTON_ALERT), "Invalid Path")
        self.assertEqual(plain(self.ui.text(1)), "Cancel")
        self.shot("alert2_en")
        self.ui.click(1)
        self.ui.wait_page(DEST)
        self.assertEqual(self.ui.text(11), "E:\\blocked\\sub\\Quillon")
        self.assertTrue(os.path.isfile(self.prefix.unix_path("E:\\blocked")))

        # A relative path names no fixed place: here it would be the CD's own directory.
        self.ui.settext(11, "quillon")
        self.ui.click(1)
        self.assertEqual(self.ui.wait_page(ONE_BUTTON_ALERT), "Invalid Path")
        self.ui.answer(1)
        # Made on request, then refused (too long to be walked): the levels go again.
        long_path = "E:\\made\\" + "d" * 100 + "\\"
        long_path += "e" * (259 - len(long_path))
        self.ui.wait_page(DEST)
        self.ui.settext(11, long_path)
        self.ui.click(1)
        self.ui.wait_page(YES_NO_ALERT, "Invalid Path")
        self.ui.answer(1)
        self.assertEqual(self.ui.wait_page(ONE_BUTTON_ALERT), "Invalid Path")
        self.ui.answer(1)
        self.ui.wait_page(DEST)
        self.assertEqual(os.listdir(self.prefix.unix_path("E:\\")), ["blocked"])
        self.cancel_run()

    def test_existing_empty_root_accepted_without_question(self):
        self.set_program_files("E:\\")
        self.prefix.plant("E:\\Quillon\\placeholder.txt", b"x")
        self.to_welcome()
        self.ui.click(1)
        self.ui.wait_page(DEST, timeout=SEARCH_TIMEOUT)
        self.assertEqual(self.ui.text(11), "E:\\Quillon")
        self.ui.click(1)
        self.ui.wait_page(OPTIONS, timeout=30)
        self.cancel_run()

    # -- the end of a run

    def test_completion_page_ignores_esc(self):
        self.set_program_files("E:\\target")
        self.to_welcome()
        self.ui.click(1)
        self.ui.wait_page(DEST, timeout=SEARCH_TIMEOUT)
        self.ui.click(1)
        self.ui.wait_page(YES_NO_ALERT, "Invalid Path")
        self.ui.click(1)
        self.next_until_complete()
        self.shot("complete_en")
        self.ui.key("esc")
        self.ui.key("close")
        self.ui.key("altf4")
        self.assert_stays([1, "!2", "!3"])
        self.ui.key("enter")
        self.ui.exit_code(timeout=30)


if __name__ == "__main__":
    harness.main()
