#!/usr/bin/env python3
"""Copy and search benchmarks of the setup program under Wine (run as root:
the media and the target drive live on tmpfs mounts made for the run).

  QUILLON_BUILD_DIR=build/<dir> python3 tools/bench/run_bench.py

Prints, for each medium, the install time with the real copy page against
`cp -r` of the same files and against a plain Win32 block copy under Wine
(floor.cpp), and the drive search against `find -iname` and a plain
FindFirstFileA walk over the same tree. Every Wine process and both Linux
commands run pinned to one core. Figures only; nothing is asserted.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "e2e"))
import harness  # noqa: E402

PIN = ["taskset", "-c", "0"]
MEDIA = {
    # name: (files, bytes per file, files per directory)
    "2000 files, 200 MB": (2000, 100 * 1024, 100),
    "20000 small files": (20000, 512, 200),
}
SEARCH_ENTRIES = 100000


def sh(*cmd, **kw):
    return subprocess.run(list(cmd), check=True, **kw)


def mount_tmpfs(path, size):
    os.makedirs(path, exist_ok=True)
    sh("mount", "-t", "tmpfs", "-o", "size=" + size, "tmpfs", path)


def umount(path):
    subprocess.run(["umount", "-l", path], check=False)


def build_floor(out):
    exe = os.path.join(out, "floor.exe")
    sh("i686-w64-mingw32-g++-posix", "-O2", "-static", "-o", exe, os.path.join(HERE, "floor.cpp"))
    return exe


def find_ci(base, *names):
    """base joined with names, each matched without regard to case as on the CD."""
    for name in names:
        hit = [e for e in os.listdir(base) if e.lower() == name] if os.path.isdir(base) else []
        base = os.path.join(base, hit[0] if hit else name)
    return base


def make_medium(root, files, size, per_dir):
    """The demo medium with a bulk of files in a sample component (clipart)."""
    staging = os.path.join(root, "staging")
    medium = os.path.join(root, "cd")
    build = harness.BUILD_DIR
    sh("python3", os.path.join(SOURCE_DIR, "tools", "medium", "demo_content.py"),
       "--programs", os.path.join(build, "demo-content"), "--staging", staging,
       stdout=subprocess.DEVNULL)
    bulk = find_ci(os.path.join(staging, "quillon", "USA"), "samples", "clipart")
    block = os.urandom(size)
    for i in range(files):
        d = os.path.join(bulk, "set%03d" % (i // per_dir))
        if i % per_dir == 0:
            os.makedirs(d, exist_ok=True)
        with open(os.path.join(d, "f%05d.bin" % i), "wb") as f:
            f.write(block)
    sh("python3", os.path.join(SOURCE_DIR, "tools", "medium", "build_medium.py"), "layout",
       "--staging", staging, "--out", medium, "--setup", os.path.join(build, "setup.exe"),
       stdout=subprocess.DEVNULL)
    shutil.rmtree(staging)
    return medium


def drive_to_folder_page(ui, prefix):
    prefix.wine("reg", "add", "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "/v",
                "ProgramFilesDir", "/d", "E:\\", "/f")
    ui.start_setup()
    ui.wait_page([10, 11, 12, 1, 2], timeout=60)
    ui.click(1)
    ui.wait_page([30, 1, 2, 3, "!10"])
    ui.click(1)
    ui.wait_page([10, 11, 1, 2, 3, "!12", "!13"], timeout=300)
    ui.click(1)
    ui.wait_page([1, 2, "!3", "!10"], "Invalid Path")
    ui.click(1)
    ui.wait_page([10, 11, 12, 13, 14, 15, 16, 17, 1, 2, 3], timeout=30)
    ui.click(1)
    ui.wait_page([10, 11, 1, 2, 3], timeout=30)


def timed_install(prefix):
    """Seconds the copy page stood (the copy itself), and until the last page."""
    ui = prefix.session()
    try:
        drive_to_folder_page(ui, prefix)
        t0 = time.monotonic()
        ui.click(1)
        ui.wait_page([10, 11, 13, 2], timeout=60, any_state=True, fine=True)
        ui.wait_gone(timeout=1200, fine=True)
        copy = time.monotonic() - t0
        while ui.wait_page([1], timeout=1200) != "Installation Completed":
            time.sleep(0.05)
        return copy, time.monotonic() - t0
    finally:
        ui.close()


def floor_copy(prefix, floor, src, dst):
    out = prefix.wine(floor, "copy", src, dst, timeout=1800).stdout.split()
    return int(out[3]) / 1000.0, int(out[1])


def timed(cmd):
    t0 = time.monotonic()
    sh(*(PIN + cmd), stdout=subprocess.DEVNULL)
    return time.monotonic() - t0


def bench_copy(name, shape, work, floor):
    mroot = os.path.join(work, "medium")
    mount_tmpfs(mroot, "1200m")
    prefix = None
    try:
        medium = make_medium(mroot, *shape)
        prefix = harness.Prefix("bench-copy", medium=medium)
        # Each figure is the better of two runs, this machine being shared;
        # the second installation goes onto a fresh E: like the first.
        runs = []
        for _ in range(2):
            umount(prefix.e_drive)
            mount_tmpfs(prefix.e_drive, "1200m")
            runs.append(timed_install(prefix))
        install, whole = min(runs)
        installed = find_ci(prefix.e_drive, "quillon")
        count = sum(len(f) for _, _, f in os.walk(installed))
        cp = timed(["cp", "-r", installed, os.path.join(prefix.e_drive, "cp_copy")])
        shutil.rmtree(os.path.join(prefix.e_drive, "cp_copy"))
        # The floor opens the tree by the name the disk gives it: a name in
        # another case would make Wine search E:\ at every file.
        src = "E:\\" + os.path.basename(installed)
        fl, fl_files = min(floor_copy(prefix, floor, src, "E:\\floor_copy%d" % i)
                           for i in range(2))
        print("%-20s %6d files  copy page %7.2f s (to the last page %.2f s)  cp -r %6.2f s"
              "  floor %7.2f s (%d files)  copy/floor %.2f  floor/cp %.1f"
              % (name, count, install, whole, cp, fl, fl_files, install / fl, fl / cp), flush=True)
    finally:
        if prefix:
            umount(prefix.e_drive)
            prefix.close()
        umount(mroot)


def timed_search(prefix):
    """Seconds from the welcome page's Next to the destination page."""
    ui = prefix.session()
    try:
        ui.start_setup()
        ui.wait_page([10, 11, 12, 1, 2], timeout=60)
        ui.click(1)
        ui.wait_page([30, 1, 2, 3, "!10"])
        t0 = time.monotonic()
        ui.click(1)
        ui.wait_page([10, 11, 1, 2, 3, "!12", "!13"], timeout=1200, fine=True)
        return time.monotonic() - t0
    finally:
        ui.close()


def bench_search(work, floor):
    prefix = harness.Prefix("bench-search")
    try:
        umount(prefix.e_drive)
        mount_tmpfs(prefix.e_drive, "600m")
        per_dir = 100
        for i in range(SEARCH_ENTRIES // (per_dir + 1)):
            d = os.path.join(prefix.e_drive, "t%02d" % (i % 50), "d%04d" % i)
            os.makedirs(d)
            for j in range(per_dir):
                open(os.path.join(d, "f%03d.dat" % j), "w").close()
        roots = [os.path.join(prefix.path, "drive_c"), prefix.e_drive]
        find = timed(["find"] + roots + ["-iname", "quillon.exe"])
        # Each figure is the better of two runs, as for the copy.
        walks = [prefix.wine(floor, "walk", "C:", "E:", timeout=1800).stdout.split()
                 for _ in range(2)]
        out = min(walks, key=lambda w: int(w[2]))
        walk = int(out[2]) / 1000.0
        search = min(timed_search(prefix) for _ in range(2))
        print("search %d entries (C: and E:)  setup %.2f s  find %.2f s  walk %.2f s"
              "  setup/walk %.2f  walk/find %.1f" % (int(out[1]), search, find, walk,
                                                     search / walk, walk / find), flush=True)
    finally:
        umount(prefix.e_drive)
        prefix.close()


def main():
    if os.geteuid() != 0:
        sys.exit("run as root: the benchmarks mount tmpfs file systems")
    work = tempfile.mkdtemp(prefix="qbench")
    floor = build_floor(work)
    try:
        # BENCH_ONLY=<part of a case name> or "search" runs that case alone.
        only = os.environ.get("BENCH_ONLY", "")
        for name, shape in MEDIA.items():
            if not only or only in name:
                bench_copy(name, shape, work, floor)
        if not only or only == "search":
            bench_search(work, floor)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
