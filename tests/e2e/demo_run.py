"""The demo: setup.exe from the demo CD in a Wine prefix of its own.

    demo_run.py --build BUILD --medium CD --out DIR            interactive, on $DISPLAY
    demo_run.py --build BUILD --medium CD --out DIR --headless  driven, screenshots

The headless run goes through every page in English, then in German and in
French (which find the earlier installations), and saves a screenshot of each
page in DIR/screenshots; then it removes the last installation through its
uninstaller and pictures the question and the last message. It copies from a
CD with a few thousand more small help files than the demo CD, so that the
copy lasts long enough to be held on its page (by the page's own Cancel
question) for its picture. The whole walk
ends within WALK_LIMIT seconds, whatever happens.
"""
import argparse
import contextlib
import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from test_integration import Recorder  # noqa: E402

ID = harness.ID
LANGUAGES = (("en", ID.IDC_FIRST_LANGUAGE), ("de", ID.IDC_FIRST_LANGUAGE + 2), ("fr", ID.IDC_FIRST_LANGUAGE + 1))
WALK_LIMIT = int(os.environ.get("QUILLON_DEMO_LIMIT", "1500"))
EXTRA_HELP_FILES = 2000


def many_help_files(staging):
    """Small help files in every language: file count, not bytes, is what
    makes a copy last under Wine."""
    for tree in ("USA", "FRG", "FRA"):
        help_dir = harness.find_nocase(os.path.join(staging, "quillon", tree), "help")
        for i in range(EXTRA_HELP_FILES):
            with open(os.path.join(help_dir, "topic%04d.qhl" % i), "wb") as f:
                f.write(bytes([i & 255]) * 2000)


def slug(text):
    # Letters of every language stay, so the contact sheet's labels keep their accents.
    return re.sub(r"\W+", "_", text).strip("_")[:40] or "untitled"


def is_folder_page(controls):
    """The program-folder page: its group name is an edit control (the
    destination page holds the same ids, as a text and a button)."""
    return any(c["id"] == ID.IDC_GROUP_NAME and c["class"].lower() == "edit" for c in controls)


def hold_copy_page(ui, shot):
    """Waits for the copy page and holds the copy with its Cancel question,
    moved to a corner so that the page, its bar and the billboard show; "No"
    lets the copy go on. False when the copy page could not be held."""
    with contextlib.suppress(harness.DriverError), ui.tolerated():
        title = ui.wait_page(harness.COPY, timeout=120, fine=True)
        # The page is up before its first file: hold it once a file shows,
        # so the picture has its path lines, its bar and the first billboard.
        deadline = time.time() + 60
        while not ui.text(ID.IDC_SRC_LINE) and time.time() < deadline:
            time.sleep(0.02)
        ui.click(ID.IDCANCEL)
        ui.wait_page(harness.YES_NO_ALERT, timeout=30)
        _, _, width, height = ui.metrics()
        left, top, right, bottom = ui.rect()
        ui.move(ui.hwnd, width - (right - left), height - (bottom - top))
        time.sleep(0.5)
        shot(title)
        ui.wait_page(harness.YES_NO_ALERT, timeout=20)
        ui.answer(ID.IDCANCEL)
        return True
    return False


def drive_one_run(prefix, lang, button, programs):
    ui = prefix.session()
    count = [0]

    def shot(title):
        count[0] += 1
        name = "%s_%02d_%s" % (lang, count[0], slug(title))
        path = prefix.screenshot(name)
        harness.log("screenshot", path or "(failed)")

    try:
        ui.start_setup()
        shot(ui.wait_page(harness.LANGUAGE, timeout=60))
        if not programs:
            # Wine's own Program Manager opens a folder window over the last
            # pages; a recording one (started after Wine's desktop) does not.
            programs.append(Recorder(prefix, ""))
        ui.click(button)
        ui.click(ID.IDOK)
        # Each page once: a page stays up a moment after its OK (enabled again
        # once the alert its OK raised is answered, until its own code ends
        # it), and taken for a new page there it was clicked after it had
        # ended. ui.pressed holds every dialog whose OK was pressed.
        deadline = time.time() + 600
        while time.time() < deadline:
            try:
                title = ui.wait_page([], timeout=300)
            except harness.DriverError as e:
                if "process exited" in str(e):
                    return ui.exit_code()
                raise
            if ui.hwnd in ui.pressed:
                time.sleep(0.2)
                continue
            try:
                with ui.tolerated():
                    controls = ui.controls()
            except harness.PageUnavailable:
                continue   # it ended between the look and the read
            ids = {c["id"] for c in controls}
            if ID.IDOK not in ids:
                # The wait box, or the copy page going on.
                time.sleep(0.2)
                continue
            shot(title)
            if {ID.IDC_SPECIAL, ID.IDC_FILES} <= ids:
                ui.click(ID.IDC_FILES)   # the component page: its sample sub-dialog too
                shot(ui.wait_page(harness.SAMPLES, timeout=20))
                ui.click(ID.IDOK)
                ui.wait_page(harness.OPTIONS)
            elif {ID.IDC_FOUND_LIST, ID.IDC_UPDATE, ID.IDC_INSTALL_NEW} <= ids and ID.IDC_LAST_LANGUAGE not in ids:
                ui.click(ID.IDC_INSTALL_NEW)   # the previous-installations page: install anew
            try:
                with ui.tolerated():
                    ui.click(ID.IDOK)
            except harness.PageUnavailable as e:
                # Not this walk's doing: look again (a page under an alert comes back).
                harness.log("%s: %s; looking again" % (lang, str(e).splitlines()[0]))
                continue
            if is_folder_page(controls) and not hold_copy_page(ui, shot):
                harness.log("%s: the copy page was gone before it could be held" % lang)
        raise harness.DriverError("the run did not end")
    finally:
        ui.close()


def remove_installation(prefix):
    """The walk ends as a user would end the trial: the last installation
    removed through its group's item (the uninstaller without arguments),
    its question and its last message pictured after the French pages."""
    ui = prefix.session()
    try:
        for windows in ("Windows NT", "Windows"):
            r = prefix.wine("reg", "query", "HKLM\\SOFTWARE\\Microsoft\\%s\\CurrentVersion\\Uninstall\\Quillon" % windows,
                            "/v", "UnInstallString", check=False)
            line = next((l for l in r.stdout.splitlines() if "REG_SZ" in l), None)
            if line:
                break
        else:
            harness.log("no uninstall entry: nothing to remove")
            return None
        command = line.split("REG_SZ", 1)[1].strip()
        exe = command[1:command.index('"', 1)] if command.startswith('"') else command.split(" ")[0]
        ui.cmd("start %s|%s" % (exe, exe.rsplit("\\", 1)[0]))
        ui.cmd("adopt 20000")
        for n in (90, 91):
            title = ui.wait_page([ID.IDOK], timeout=120)
            harness.log("screenshot", prefix.screenshot("fr_%02d_%s" % (n, slug(title))) or "(failed)")
            ui.answer(ID.IDOK)
        return ui.exit_code(timeout=60)
    finally:
        ui.close()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--medium", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--headless", action="store_true")
    args = ap.parse_args()
    os.makedirs(args.out, exist_ok=True)
    harness.use_build(args.build)
    harness.SCREENSHOT_DIR = os.path.join(args.out, "screenshots")
    prefix_path = os.path.join(os.path.abspath(args.out), "prefix")

    if args.headless:
        harness.limit_run(WALK_LIMIT, "demo walk")
        medium = harness.adjusted_medium("walk_medium", many_help_files)
        prefix = harness.Prefix("demo", medium=medium, path=prefix_path)
        programs = []
        try:
            for lang, button in LANGUAGES:
                code = drive_one_run(prefix, lang, button, programs)
                harness.log("%s run ended with exit status %s" % (lang, code))
            harness.log("uninstall ended with exit status %s" % remove_installation(prefix))
        finally:
            for recorder in programs:
                recorder.stop()
            prefix.close()
        print("screenshots in", harness.SCREENSHOT_DIR)
        return 0

    display = os.environ.get("DISPLAY")
    if not display:
        # Nobody would see the wizard, and nobody could end it.
        print("demo_run.py: no DISPLAY to show the wizard on; use --headless", file=sys.stderr)
        return 2
    prefix = harness.Prefix("demo", medium=args.medium, path=prefix_path, display=display)
    try:
        r = subprocess.run(harness.PIN + ["wine", "D:\\setup.exe"], env=prefix.env,
                           cwd=prefix.unix_path("D:\\"))
        harness.log("setup.exe ended with exit status", r.returncode)
    finally:
        prefix.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
