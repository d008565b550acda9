#!/usr/bin/env python3
"""Copy and search benchmarks of the setup program under Wine (run as root:
the media live on tmpfs mounts made for the run, the target drive on tmpfs
and on an ext4 file system in an image on the host's disk, mounted through a
loop device: a real disk, where flushes wait for it).

  QUILLON_BUILD_DIR=build/<dir> python3 tools/bench/run_bench.py [--baseline build/<other>]

For each medium and target disk: the install with the real copy page, fresh
and as an update over the installation it made, against floors of the same
tree under Wine (floor.cpp): a plain Win32 block copy into a new tree (on the
real disk the same, then every file flushed: what makes it durable) and over
an existing one (an update from the same medium), and, for the updates that
write files over, the least an installer that can undo them must do (the old
bytes appended to one file and flushed first, then the new written and
flushed); `cp -r`,
and the peer (an NSIS installer of the same tree, silent and with its install
page); the latency of Cancel during the copy (click to question on screen).
Then the drive search against `find -iname` and a plain FindFirstFileA walk.
Every figure is the median of --runs interleaved runs, a ratio the median of
each run's ratio to the floor copy right after (the walk right before); with
--baseline the setup program of that build is timed in the same loop on the
same media, so a change's before and after come from one run. Every Wine
process and the Linux commands run pinned to one core. Figures only; nothing
is asserted.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "e2e"))
import harness  # noqa: E402
from harness import COPY, YES_NO_ALERT  # noqa: E402

PIN = harness.PIN
MEDIA = {
    # name: (files, bytes per file, files per directory)
    "2000 files, 200 MB": (2000, 100 * 1024, 100),
    "20000 small files": (20000, 512, 200),
}
SEARCH_ENTRIES = 100000
CANCEL_CLICKS = 5         # Cancel latency samples per run, as long as the copy lasts
PEER_PAGE_SLOW = 60.0     # a peer page run longer than this is timed in the first run only


def sh(*cmd, **kw):
    return subprocess.run(list(cmd), check=True, **kw)


def mount_tmpfs(path, size):
    os.makedirs(path, exist_ok=True)
    sh("mount", "-t", "tmpfs", "-o", "size=" + size, "tmpfs", path)


def umount(path):
    if os.path.ismount(path):
        subprocess.run(["umount", "-l", path], check=False)


def settle_disk():
    """The prefix just copied is hundreds of MB not yet on the disk: written
    back in the middle of a timed run, it held up the record's flushes there
    by up to a tenth of a second."""
    os.sync()


def release_e(prefix):
    """E: as the prefix made it: an empty directory, nothing mounted."""
    disk = os.path.join(os.path.dirname(prefix.path), "e_disk")
    if os.path.islink(prefix.e_drive):
        os.unlink(prefix.e_drive)
        os.makedirs(prefix.e_drive)
    umount(prefix.e_drive)
    umount(disk)
    image = disk + ".img"
    if os.path.exists(image):
        os.unlink(image)


def fresh_e(prefix, disk="tmpfs"):
    """An empty E: for the next run: a tmpfs, or a directory in a new ext4
    file system in an image on the host's disk (made with its tables written
    now, so that no background work of its own runs during the timing). Not
    the file system's root: Wine reads the volume of a drive whose root is a
    mount from its device, cannot for ext4, and the search then passes the
    drive over."""
    release_e(prefix)
    if disk == "tmpfs":
        mount_tmpfs(prefix.e_drive, "1200m")
        return
    mnt = os.path.join(os.path.dirname(prefix.path), "e_disk")
    with open(mnt + ".img", "wb") as f:
        f.truncate(3 << 30)
    sh("mkfs.ext4", "-q", "-F", "-E", "lazy_itable_init=0,lazy_journal_init=0", mnt + ".img")
    os.makedirs(mnt, exist_ok=True)
    sh("mount", "-o", "loop", mnt + ".img", mnt)
    os.makedirs(os.path.join(mnt, "e"))
    os.rmdir(prefix.e_drive)
    os.symlink(os.path.join(mnt, "e"), prefix.e_drive)
    settle_disk()


def build_floor(out):
    exe = os.path.join(out, "floor.exe")
    # The floor is built for the machine the contenders run on (see harness.wine_arch).
    cxx = "x86_64-w64-mingw32-g++-posix" if harness.wine_arch() == "win64" else "i686-w64-mingw32-g++-posix"
    sh(cxx, "-O2", "-static", "-o", exe, os.path.join(HERE, "floor.cpp"))
    return exe


def find_ci(base, *names):
    """base joined with names, each matched without regard to case as on the CD."""
    for name in names:
        hit = [e for e in os.listdir(base) if e.lower() == name] if os.path.isdir(base) else []
        base = os.path.join(base, hit[0] if hit else name)
    return base


def median(values):
    return statistics.median(values) if values else float("nan")


class Contender:
    """A build whose setup.exe is timed; the medium holds one setup.exe at a time."""

    def __init__(self, label, build_dir):
        self.label = label
        self.setup = os.path.join(os.path.abspath(build_dir), "setup.exe")
        if not os.path.isfile(self.setup):
            sys.exit("no setup.exe in " + build_dir)

    def put_on(self, medium):
        shutil.copyfile(self.setup, os.path.join(medium, "setup.exe"))


# ---------------------------------------------------------------- media

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


def build_peer(tree, medium):
    """The peer's installer of the installed tree, on the medium as D:\\peer.exe:
    stored, not compressed, its install page only, details shown."""
    script = os.path.join(os.path.dirname(medium), "peer.nsi")
    # Built for the Wine the setup program is timed under: where the host runs
    # no 32-bit code, the 64-bit stub that Debian's nsis also ships.
    target = "Target amd64-unicode\n" if harness.wine_arch() == "win64" else ""
    with open(script, "w") as f:
        f.write('Unicode true\n' + target +
                'Name "Quillon"\n'
                'OutFile "%s"\n'
                'SetCompress off\n'
                'SetDatablockOptimize off\n'
                'ShowInstDetails show\n'
                'AutoCloseWindow true\n'
                'RequestExecutionLevel user\n'
                'InstallDir "E:\\peer"\n'
                'Page instfiles\n'
                'Section\n'
                '  SetOutPath "$INSTDIR"\n'
                '  File /r "%s/*"\n'
                'SectionEnd\n' % (os.path.join(medium, "peer.exe"), tree))
    sh("makensis", "-V1", script, stdout=subprocess.DEVNULL)


# ---------------------------------------------------------------- setup runs

def start_to_search(ui, prefix):
    run_wine(prefix, "reg", "add", "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "/v",
                "ProgramFilesDir", "/d", "E:\\", "/f")
    ui.start_setup()
    ui.wait_page(harness.LANGUAGE, timeout=60)
    ui.click(1)
    ui.wait_page(harness.WELCOME)
    ui.click(1)


def to_folder_page(ui, prefix, update):
    """A new installation into E:\\quillon, or an update of the one found
    there (its settings file overwritten, so every file is copied again)."""
    start_to_search(ui, prefix)
    if update:
        ui.wait_page(harness.FOUND, timeout=300)
        items = ui.items(10)
        mine = [i for i, t in enumerate(items) if t.lower() == "e:\\quillon"]
        if not mine:
            raise harness.HarnessError("no installation found on E: (%r)" % items)
        ui.select(10, mine[0])
        ui.click(1)
        if ui.try_wait_page([1, 2, "!3"], "QUILLON.QPR", timeout=5) is not None:
            ui.click(2)
    else:
        ui.wait_page(harness.DEST, timeout=300)
        ui.click(1)
        ui.wait_page(YES_NO_ALERT, "Invalid Path")
        ui.click(1)
    ui.wait_page(harness.OPTIONS, timeout=30)
    ui.click(1)
    ui.wait_page(harness.FOLDER, timeout=30)


def timed_install(prefix, update=False):
    """Seconds the copy page stood: from Next on the folder page until it is gone."""
    ui = prefix.session()
    try:
        to_folder_page(ui, prefix, update)
        t0 = time.monotonic()
        ui.click(1)
        ui.wait_page(COPY, timeout=60, any_state=True, fine=True)
        ui.wait_gone(timeout=1200, fine=True)
        copy = time.monotonic() - t0
        while ui.wait_page([1], timeout=1200) != "Installation Completed":
            time.sleep(0.05)
        return copy
    finally:
        ui.close()


def cancel_latencies(prefix):
    """Milliseconds from a posted click on Cancel to the question on screen,
    taken while the copy of a new installation runs (each answered No)."""
    ui = prefix.session()
    out = []
    try:
        to_folder_page(ui, prefix, update=False)
        ui.click(1)
        ui.wait_page(COPY, timeout=60, fine=True)
        page = ui.hwnd
        for _ in range(CANCEL_CLICKS):
            time.sleep(0.15)
            try:
                ui.cmd("use %s" % page)
                t0 = time.monotonic()
                ui.cmd("postclick 2")
                ui.wait_page(YES_NO_ALERT, "Exit", timeout=10, fine=True)
            except harness.DriverError:
                break   # the copy ended first
            out.append((time.monotonic() - t0) * 1000.0)
            ui.answer(2)
    finally:
        ui.close()
    return out


def floor_copy(prefix, floor, src, dst, how="copy", *more):
    """Seconds of a block copy of src into dst (how: copy, durable or keep,
    see floor.cpp), and the files copied."""
    out = run_wine(prefix, floor, how, src, dst, *more)[0].stdout.split()
    return float(out[3]) / 1000.0, int(out[1])


def timed(cmd, env=None):
    t0 = time.monotonic()
    sh(*(PIN + cmd), stdout=subprocess.DEVNULL, env=env)
    return time.monotonic() - t0


def run_wine(prefix, *args, timeout=1800):
    """A Windows program run to its end, and the seconds its run took. Tried once
    more when it exits non-zero: twice in one day a helper (`reg add`, the floor's
    walk) exited 1 at once and ended a benchmark of many minutes; the prefix's
    log was overwritten before the cause could be seen."""
    for last in (False, True):
        t0 = time.monotonic()
        try:
            return prefix.wine(*args, timeout=timeout), time.monotonic() - t0
        except subprocess.CalledProcessError as e:
            if last:
                raise
            print("note: %s exited %d, run once more" % (" ".join(map(str, args[:2])), e.returncode),
                  file=sys.stderr, flush=True)
            time.sleep(1)


def timed_wine(prefix, *args):
    """Wall seconds of a Wine program from start to end."""
    return run_wine(prefix, *args)[1]


# ---------------------------------------------------------------- copy

class Figures(dict):
    """Lists of figures by key; a timed case also keeps its ratio of each run."""

    def add(self, key, value, ratio=None):
        self.setdefault(key, []).append(value)
        if ratio is not None:
            self.setdefault(("ratio", key), []).append(ratio)

    def med(self, key):
        return median(self.get(key, []))

    def ratio(self, key):
        return self.med(("ratio", key))

    def spread(self, key):
        values = self.get(key, [])
        return "%.2f-%.2f" % (min(values), max(values)) if values else ""


def change_every_file(root, at_start=False):
    """Flips the last byte of every file, or its first."""
    for d, _, files in os.walk(root):
        for name in files:
            with open(os.path.join(d, name), "r+b") as f:
                if f.seek(0, os.SEEK_END) == 0:
                    continue
                where = 0 if at_start else -1
                f.seek(where, os.SEEK_SET if at_start else os.SEEK_END)
                byte = f.read(1)[0]
                f.seek(where, os.SEEK_SET if at_start else os.SEEK_END)
                f.write(bytes([byte ^ 0xFF]))


def one_copy_run(prefix, medium, contenders, floor, first, fig, peer, disk):
    for c in contenders:
        c.put_on(medium)
        fresh_e(prefix, disk)
        fig.add((c.label, "cancel"), cancel_latencies(prefix))
        fresh_e(prefix, disk)
        # Each install is followed at once by its floor, a copy of the tree it
        # left, and counts as its ratio to that floor: a load that comes and
        # goes on a shared machine (a floor of 0.75 s took 1.3 s for a minute)
        # then falls on both sides of a ratio, not on one contender's install
        # and another's floor.
        fresh = timed_install(prefix)
        installed = find_ci(prefix.e_drive, "quillon")
        src = "E:\\" + os.path.basename(installed)   # as the disk spells it: no search at every file
        # On the real disk a fresh install is measured against a copy that
        # is as durable as its own.
        fl, fig.files = floor_copy(prefix, floor, src, "E:\\floor_copy",
                                   "durable" if disk == "ext4" else "copy")
        fig.add("floor fresh", fl)
        fig.add((c.label, "fresh"), fresh, fresh / fl)
        update = timed_install(prefix, update=True)
        over = floor_copy(prefix, floor, src, "E:\\floor_copy")[0]
        fig.add("floor over", over)
        fig.add((c.label, "update"), update, update / over)
        # An update from the same medium finds every file as the medium has
        # it; one from a newer medium finds them all changed. The last byte of
        # each, so that each is compared to its end and only its last block
        # is kept and written; then the first, so that each is kept and
        # written whole. Either is measured against a floor that keeps every
        # byte it writes over, flushed, before it writes and flushes the new.
        for case, at_start in (("changed", False), ("rewritten", True)):
            change_every_file(installed, at_start)
            changed = timed_install(prefix, update=True)
            keep = floor_copy(prefix, floor, src, "E:\\floor_copy", "keep", "E:\\floor.pack")[0]
            fig.add("floor keep", keep)
            fig.add((c.label, case), changed, changed / keep)
        shutil.rmtree(os.path.join(prefix.e_drive, "floor_copy"))
    # cp -r and the peer copy the tree the last update left.
    fig.add("cp -r", timed(["cp", "-r", installed, os.path.join(prefix.e_drive, "cp_copy")]))
    shutil.rmtree(os.path.join(prefix.e_drive, "cp_copy"))
    if not peer:
        return
    # The peer's time counts from its start to its end: Wine's start of a
    # program that does nothing is timed alongside and taken off.
    start = timed_wine(prefix, floor, "nop")
    fig.add("wine start", start)
    peer = "D:\\peer.exe"
    fig.add("peer silent", timed_wine(prefix, peer, "/S", "/D=E:\\peer_s") - start)
    shutil.rmtree(os.path.join(prefix.e_drive, "peer_s"), ignore_errors=True)
    if first or fig.med("peer page") < PEER_PAGE_SLOW:
        fig.add("peer page", timed_wine(prefix, peer, "/D=E:\\peer_p") - start)
        shutil.rmtree(os.path.join(prefix.e_drive, "peer_p"), ignore_errors=True)


def run_line(fig, before):
    """The figures added since before (the lengths of fig's lists then), as one line."""
    parts = []
    for key, values in fig.items():
        if key[0] == "ratio":
            continue
        name = key if isinstance(key, str) else " ".join(key)
        ratios = fig.get(("ratio", key), [])
        for i in range(before.get(key, 0), len(values)):
            if isinstance(values[i], list):
                parts.append("%s [%s] ms" % (name, " ".join("%.0f" % ms for ms in values[i])))
            elif i < len(ratios):
                parts.append("%s %.2f (%.2f)" % (name, values[i], ratios[i]))
            else:
                parts.append("%s %.2f" % (name, values[i]))
    return "  ".join(parts)


def report_copy(name, contenders, fig, runs):
    fl = fig.med("floor fresh")
    over = fig.med("floor over")
    print("\n%s, %d files, median of %d runs (floors: %.2f s new tree, %.2f s over it, %.2f s keeping"
          " what it writes over; cp -r %.2f s); a ratio is the median of each run's install over"
          " its floor right after it" % (name, fig.files, runs, fl, over, fig.med("floor keep"),
                                        fig.med("cp -r")))
    rows = []
    for c in contenders:
        cells = []
        line = "  %-9s" % c.label
        for case, title in (("fresh", "copy page fresh"), ("update", "update"),
                            ("changed", "update, last bytes changed"),
                            ("rewritten", "update, first bytes changed")):
            key = (c.label, case)
            line += "  %s %6.2f s /floor %.2f (%s)" % (title, fig.med(key), fig.ratio(key),
                                                        fig.spread(("ratio", key)))
            cells.append("%.2f s | %.2f (%s)" % (fig.med(key), fig.ratio(key),
                                                 fig.spread(("ratio", key))))
        clicks = [ms for run in fig.get((c.label, "cancel"), []) for ms in run]
        print("%s   Cancel to question: median %.0f ms of %d (max %.0f)"
              % (line, median(clicks), len(clicks), max(clicks) if clicks else float("nan")))
        rows.append("| %s, %s | %s | %.0f ms |" % (name, c.label, " | ".join(cells), median(clicks)))
    if "peer silent" not in fig:
        sys.stdout.flush()
        return rows
    silent, page = fig.med("peer silent"), fig.med("peer page")
    print("  peer      silent %6.2f s  /floor %.2f   with its page %6.2f s  /floor %.2f  (%d page runs;"
          " Wine's start %.2f s taken off)" % (silent, silent / fl, page, page / fl,
                                               len(fig.get("peer page", [])), fig.med("wine start")))
    rows.append("| %s, peer silent | %.2f s | %.2f | | | | | | | |" % (name, silent, silent / fl))
    rows.append("| %s, peer with its page | %.2f s | %.2f | | | | | | | |"
                % (name, page, page / fl))
    sys.stdout.flush()
    return rows


def bench_copy(name, shape, work, floor, contenders, runs, peer, disk):
    mroot = os.path.join(work, "medium")
    mount_tmpfs(mroot, "1600m")
    prefix = None
    try:
        medium = make_medium(mroot, *shape)
        prefix = harness.Prefix("bench-copy", medium=medium)
        # A first install, not timed, warms Wine and gives the peer its tree.
        fresh_e(prefix, disk)
        contenders[0].put_on(medium)
        timed_install(prefix)
        settle_disk()
        if peer:
            build_peer(find_ci(prefix.e_drive, "quillon"), medium)
        fig = Figures()
        for r in range(runs):
            before = {k: len(v) for k, v in fig.items()}
            one_copy_run(prefix, medium, contenders, floor, r == 0, fig, peer, disk)
            print("%s, run %d of %d: %s" % (name, r + 1, runs, run_line(fig, before)), flush=True)
        return report_copy(name, contenders, fig, runs)
    finally:
        if prefix:
            release_e(prefix)
            prefix.close()
        umount(mroot)


# ---------------------------------------------------------------- search

def timed_search(prefix):
    """Seconds from the welcome page's Next to the destination page."""
    ui = prefix.session()
    try:
        ui.start_setup()
        ui.wait_page(harness.LANGUAGE, timeout=60)
        ui.click(1)
        ui.wait_page(harness.WELCOME)
        t0 = time.monotonic()
        ui.click(1)
        ui.wait_page(harness.DEST, timeout=1200, fine=True)
        return time.monotonic() - t0
    finally:
        ui.close()


def bench_search(work, floor, contenders, runs):
    mroot = os.path.join(work, "search_medium")
    mount_tmpfs(mroot, "400m")
    prefix = None
    try:
        medium = os.path.join(mroot, "cd")
        shutil.copytree(harness.medium_dir(), medium)
        prefix = harness.Prefix("bench-search", medium=medium)
        fresh_e(prefix)
        per_dir = 100
        for i in range(SEARCH_ENTRIES // (per_dir + 1)):
            d = os.path.join(prefix.e_drive, "t%02d" % (i % 50), "d%04d" % i)
            os.makedirs(d)
            for j in range(per_dir):
                open(os.path.join(d, "f%03d.dat" % j), "w").close()
        settle_disk()
        roots = [os.path.join(prefix.path, "drive_c"), prefix.e_drive]
        fig = Figures()
        for _ in range(runs):
            fig.add("find", timed(["find"] + roots + ["-iname", "quillon.exe"]))
            for c in contenders:
                # Each search over the walk just before it (see one_copy_run).
                out = run_wine(prefix, floor, "walk", "C:", "E:")[0].stdout.split()
                fig.entries = int(out[1])
                walk = float(out[2]) / 1000.0
                fig.add("walk", walk)
                c.put_on(medium)
                search = timed_search(prefix)
                fig.add(c.label, search, search / walk)
        print("\nsearch %d entries (C: and E:), median of %d runs: walk %.2f s  find %.2f s"
              % (fig.entries, runs, fig.med("walk"), fig.med("find")))
        rows = []
        for c in contenders:
            s, r, spread = fig.med(c.label), fig.ratio(c.label), fig.spread(("ratio", c.label))
            print("  %-9s setup %.2f s  /walk %.2f (%s)" % (c.label, s, r, spread))
            rows.append("| search, %s | %.2f s | %.2f (%s) | | | | | | | |" % (c.label, s, r, spread))
        sys.stdout.flush()
        return rows
    finally:
        if prefix:
            umount(prefix.e_drive)
            prefix.close()
        umount(mroot)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--baseline", metavar="BUILD_DIR",
                    help="another build whose setup.exe is timed in the same loop")
    ap.add_argument("--runs", type=int, default=int(os.environ.get("BENCH_RUNS", "3")),
                    help="interleaved runs; every figure is their median (default 3)")
    ap.add_argument("--only", default=os.environ.get("BENCH_ONLY", ""),
                    help='part of a medium\'s name, or "search": that case alone')
    ap.add_argument("--no-peer", action="store_true",
                    help="leave the peer out (a before and after of a change needs no peer)")
    ap.add_argument("--disk", choices=("tmpfs", "ext4", "both"), default="both",
                    help="the target drive: tmpfs, an ext4 image through a loop device, or both")
    args = ap.parse_args()
    if os.geteuid() != 0:
        sys.exit("run as root: the benchmarks mount tmpfs file systems")
    if not args.no_peer and not shutil.which("makensis"):
        sys.exit("no makensis: bash tools/install-deps.sh --bench")
    contenders = [Contender("setup", harness.BUILD_DIR)]
    if args.baseline:
        contenders.append(Contender("baseline", args.baseline))
    work = tempfile.mkdtemp(prefix="qbench")
    floor = build_floor(work)
    rows = []
    try:
        disks = ("tmpfs", "ext4") if args.disk == "both" else (args.disk,)
        for name, shape in MEDIA.items():
            for disk in disks:
                if not args.only or args.only in name:
                    rows += bench_copy("%s, %s" % (name, disk), shape, work, floor, contenders,
                                       args.runs, not args.no_peer and disk == "tmpfs", disk)
        if not args.only or args.only == "search":
            rows += bench_search(work, floor, contenders, args.runs)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("\n| case | fresh | fresh / floor | update | update / floor | update, last bytes changed"
          " | / floor | update, first bytes changed | / floor | Cancel to question |")
    print("|---|---|---|---|---|---|---|---|---|---|")
    print("\n".join(rows))


if __name__ == "__main__":
    main()
