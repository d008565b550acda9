"""The demo: setup.exe from the demo CD in a Wine prefix of its own.

    demo_run.py --build BUILD --medium CD --out DIR            interactive, on $DISPLAY
    demo_run.py --build BUILD --medium CD --out DIR --headless  driven, screenshots

The headless run goes through every page in English, then in German and in
French (which find the earlier installations), and saves a screenshot of each
page in DIR/screenshots.
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

LANGUAGES = (("en", 10), ("de", 12), ("fr", 11))


def slug(text):
    # Letters of every language stay, so the contact sheet's labels keep their accents.
    return re.sub(r"\W+", "_", text).strip("_")[:40] or "untitled"


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
        shot(ui.wait_page([10, 11, 12, 16, 1], timeout=60))
        if not programs:
            # Wine's own Program Manager opens a folder window over the last
            # pages; a recording one (started after Wine's desktop) does not.
            programs.append(Recorder(prefix, ""))
        ui.click(button)
        ui.click(1)
        handled = None
        copy_shot = False
        deadline = time.time() + 600
        while time.time() < deadline:
            try:
                title = ui.wait_page([], timeout=300)
            except harness.DriverError as e:
                if "process exited" in str(e):
                    return ui.exit_code()
                raise
            ids = {c["id"] for c in ui.controls()}
            if {10, 11, 13, 2} <= ids and 1 not in ids:
                # The demo copy is over in a moment: Cancel holds it while its
                # question is open. The question goes to a corner so the page,
                # its bar and the billboard show; "No" lets the copy go on.
                if not copy_shot:
                    copy_shot = True
                    with contextlib.suppress(harness.DriverError):
                        ui.click(2)
                        ui.wait_page(harness.YES_NO_ALERT, timeout=20)
                        _, _, width, height = ui.metrics()
                        left, top, right, bottom = ui.rect()
                        ui.move(ui.hwnd, width - (right - left), height - (bottom - top))
                        time.sleep(0.5)
                        shot(title)
                        ui.wait_page(harness.YES_NO_ALERT, timeout=20)
                        ui.answer(2)
                time.sleep(0.2)
                continue
            if ui.hwnd == handled or not ids & {1, 2, 3}:
                time.sleep(0.2)
                continue
            handled = ui.hwnd
            shot(title)
            if {16, 17} <= ids:
                ui.click(17)
                sub = ui.wait_page([1], timeout=20)
                if ui.hwnd != handled:
                    shot(sub)
                    ui.click(1)
                ui.wait_page([16, 17, 1])
            elif {10, 11, 12} <= ids and 16 not in ids:
                ui.click(12)  # the previous-installations page: install anew
            ui.click(1)
        raise harness.DriverError("the run did not end")
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
    prefix_path = os.path.join(args.out, "prefix")

    if args.headless:
        prefix = harness.Prefix("demo", medium=args.medium, path=prefix_path)
        programs = []
        try:
            for lang, button in LANGUAGES:
                code = drive_one_run(prefix, lang, button, programs)
                harness.log("%s run ended with exit status %s" % (lang, code))
        finally:
            for recorder in programs:
                recorder.stop()
            prefix.close()
        print("screenshots in", harness.SCREENSHOT_DIR)
        return 0

    display = os.environ.get("DISPLAY")
    if not display:
        harness.log("no DISPLAY: running on a private Xvfb (use --headless for screenshots)")
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
