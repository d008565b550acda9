"""End-to-end harness: a fresh Wine prefix per test module, the demo
medium as CD drive D:, an extra fixed disk E:, and a session with the UI driver
(tests/e2e/tools/uidriver.cpp) that starts setup.exe and drives its pages.

Python 3 standard library only. See tests/e2e/README.md for how to use it.
"""
import contextlib
import fcntl
import hashlib
import json
import os
import queue
import re
import shutil
import subprocess
import sys
import threading
import time
import types
import unittest

SOURCE_DIR = os.environ.get("QUILLON_SOURCE_DIR") or os.path.dirname(
    os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD_DIR = os.path.abspath(os.environ.get("QUILLON_BUILD_DIR") or os.path.join(SOURCE_DIR, "build", "test"))
E2E_DIR = os.path.join(BUILD_DIR, "e2e")
TOOLS_DIR = os.path.join(BUILD_DIR, "tests", "e2e", "tools")
SCREENSHOT_DIR = os.environ.get("QUILLON_SCREENSHOTS") or os.path.join(E2E_DIR, "screenshots")



def use_build(build_dir):
    """Points the harness at another build directory (the demo uses its own)."""
    global BUILD_DIR, E2E_DIR, TOOLS_DIR, SCREENSHOT_DIR
    BUILD_DIR = os.path.abspath(build_dir)
    E2E_DIR = os.path.join(BUILD_DIR, "e2e")
    TOOLS_DIR = os.path.join(BUILD_DIR, "tests", "e2e", "tools")
    SCREENSHOT_DIR = os.path.join(E2E_DIR, "screenshots")


# Every Wine process of a run shares one core: on two cores most of Wine's cost
# is waking the other core for each wineserver request.
# The first core this process may use: a container may not offer core 0.
PIN = ["taskset", "-c", str(min(os.sched_getaffinity(0)))] if shutil.which("taskset") else []

# Wine answers with its own built-in library of these names unless told
# otherwise, and then reports no version resource for the file on disk.
NATIVE_DLLS = ("msvcrt20", "msvcrt40", "ctl3d32", "twain_32")


def wine_arch():
    """win32, or win64 on a host that runs no 32-bit code; the build must match
    (tools/wine-arch.sh makes that choice for the test and demo commands)."""
    arch = os.environ.get("QUILLON_WINEARCH")
    if not arch:
        try:
            probe = subprocess.run(["/usr/lib/wine/wine", "--version"], stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL, check=False)
            arch = "win32" if probe.returncode == 0 else "win64"
        except OSError:   # ENOEXEC: the kernel runs no 32-bit code
            arch = "win64"
        os.environ["QUILLON_WINEARCH"] = arch
    if arch == "win64":
        shims = os.path.join(SOURCE_DIR, "tools", "wine64")
        if not os.environ.get("PATH", "").startswith(shims + os.pathsep):
            os.environ["PATH"] = shims + os.pathsep + os.environ.get("PATH", "")
    return arch


def resource_ids(path=None):
    """The ids of res/resource.h by name, with IDOK and IDCANCEL of <windows.h>."""
    ids = {"IDOK": 1, "IDCANCEL": 2}
    with open(path or os.path.join(SOURCE_DIR, "res", "resource.h"), encoding="utf-8") as f:
        for line in f:
            m = re.match(r"#define (\w+) ([^/]+?)\s*(//.*)?$", line)
            if m:
                # Values are numbers, other names and "+" between them.
                ids[m.group(1)] = sum(ids[t] if t in ids else int(t) for t in m.group(2).split(" + "))
    return types.SimpleNamespace(**ids)


ID = resource_ids()


def absent(cid):
    """In a page signature: the page must not hold this control."""
    return "!%d" % cid


# Pages and alerts told apart by the control ids they hold.
BUTTONS = [ID.IDOK, ID.IDCANCEL, ID.IDC_BACK]
LANGUAGE = list(range(ID.IDC_FIRST_LANGUAGE, ID.IDC_LAST_LANGUAGE + 1)) + BUTTONS
# Every other page with the side picture holds controls 10 and 11.
WELCOME = [ID.IDC_SIDE_PICTURE] + BUTTONS + [absent(10), absent(11)]
FOUND = [ID.IDC_FOUND_LIST, ID.IDC_UPDATE, ID.IDC_INSTALL_NEW] + BUTTONS + [absent(ID.IDC_LAST_LANGUAGE)]
DEST = [ID.IDC_BROWSE, ID.IDC_DEST_PATH] + BUTTONS + [absent(ID.IDC_INSTALL_NEW), absent(ID.IDC_SAMPLES)]
# The found page before anything is known about what the search found: its
# list and its first radio button, or the destination page's two controls.
FOUND_OR_DEST = [10, 11] + BUTTONS
OPTIONS = list(range(ID.IDC_MODULES, ID.IDC_FILES + 1)) + BUTTONS
FOLDER = [ID.IDC_SIDE_PICTURE, ID.IDC_GROUP_LIST, ID.IDC_GROUP_NAME] + BUTTONS + [absent(12)]
COPY = [ID.IDC_SRC_LINE, ID.IDC_DST_LINE, ID.IDC_BAR, ID.IDCANCEL, absent(ID.IDOK)]
# The component page's sample sub-dialog.
SAMPLES = [ID.IDC_SAMPLE_RASTERS, ID.IDC_SAMPLE_PAGES, ID.IDOK, absent(ID.IDC_BACK)]
YES_NO_ALERT = [ID.IDOK, ID.IDCANCEL, absent(ID.IDC_BACK), absent(10), absent(11)]
ONE_BUTTON_ALERT = [ID.IDOK, absent(ID.IDCANCEL), absent(ID.IDC_BACK), absent(10)]
SPACE_ALERT = BUTTONS + [absent(10), absent(11)]


class HarnessError(Exception):
    pass


def log(*args):
    print("[e2e]", *args, file=sys.stderr, flush=True)


@contextlib.contextmanager
def file_lock(name):
    os.makedirs(E2E_DIR, exist_ok=True)
    with open(os.path.join(E2E_DIR, name + ".lock"), "w") as f:
        fcntl.flock(f, fcntl.LOCK_EX)
        try:
            yield
        finally:
            fcntl.flock(f, fcntl.LOCK_UN)


def base_env(prefix=None):
    arch = wine_arch()
    env = dict(os.environ)
    env.update(WINEARCH=arch, WINEDEBUG="-all", LC_ALL="C.UTF-8", LANG="C.UTF-8")
    # No menu builder or Mono/Gecko prompts in test prefixes.
    env["WINEDLLOVERRIDES"] = "winemenubuilder.exe=d;mscoree=d;mshtml=d"
    if prefix:
        env["WINEPREFIX"] = prefix
    return env


def reg_section(key, values):
    """Text of one key in Wine's registry file format; values: name -> str or int."""
    lines = ["", "[%s] 1700000000" % key.replace("\\", "\\\\")]
    for name, value in values.items():
        quoted = '"%s"' % name.replace("\\", "\\\\") if name else "@"
        if isinstance(value, int):
            lines.append("%s=dword:%08x" % (quoted, value))
        else:
            lines.append('%s="%s"' % (quoted, value.replace("\\", "\\\\").replace('"', '\\"')))
    return "\n".join(lines) + "\n"


def append_registry(prefix, hive, text):
    """Adds keys to user.reg / system.reg; only while no wineserver runs for the prefix."""
    with open(os.path.join(prefix, hive), "a", encoding="utf-8") as f:
        f.write(text)


# ---------------------------------------------------------------- display

class Display:
    """A given X display, or an Xvfb of our own of the given size (tests use
    their own so that screenshots are exactly the Wine desktop)."""

    def __init__(self, size="1024x768", name=None):
        self.proc = None
        self.name = name
        if name:
            return
        r, w = os.pipe()
        self.proc = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", size + "x24", "-nolisten", "tcp"],
                                     pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(w)
        number = b""
        deadline = time.time() + 20
        while not number.endswith(b"\n"):
            if time.time() > deadline or self.proc.poll() is not None:
                raise HarnessError("Xvfb did not start")
            chunk = os.read(r, 16)
            if not chunk:
                break
            number += chunk
        os.close(r)
        self.name = ":" + number.decode().strip()

    def close(self):
        if self.proc:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
            self.proc = None


# ---------------------------------------------------------------- medium

def programs_time(exe):
    """When setup.exe or the uninstaller the medium carries was built last."""
    uninstaller = os.path.join(BUILD_DIR, "demo-content", "uinstall.exe")
    return max([os.path.getmtime(exe)] + ([os.path.getmtime(uninstaller)]
                                          if os.path.exists(uninstaller) else []))


def medium_dir():
    """The demo CD tree, rebuilt when setup.exe or the uninstaller is newer than its copy."""
    out = os.path.join(E2E_DIR, "medium")
    exe = os.path.join(BUILD_DIR, "setup.exe")
    if not os.path.exists(exe):
        raise HarnessError("setup.exe not built in " + BUILD_DIR)
    with file_lock("medium"):
        copy = os.path.join(out, "setup.exe")
        if os.path.exists(copy) and os.path.getmtime(copy) >= programs_time(exe):
            return out
        shutil.rmtree(out, ignore_errors=True)
        maker = os.path.join(SOURCE_DIR, "tools", "medium", "make_demo_medium.sh")
        if os.path.exists(maker):
            subprocess.run(["bash", maker, BUILD_DIR, out], check=True)
        else:
            # Until the medium builder exists: the program alone at the CD root.
            os.makedirs(out)
            shutil.copy2(exe, copy)
        if not os.path.exists(copy):
            raise HarnessError("the medium has no setup.exe at its root")
    return out


def find_nocase(base, relative):
    """The path below base of relative ("a/b"), each level matched in any letter case; None when missing."""
    for part in relative.split("/"):
        if base is None:
            return None
        base = next((os.path.join(base, e) for e in os.listdir(base) if e.lower() == part), None)
    return base


def adjusted_medium(name, adjust):
    """A CD tree of the demo content changed by adjust(staging) before the
    layout (more files, other system libraries ...), rebuilt when setup.exe is
    newer than its copy."""
    out = os.path.join(E2E_DIR, name)
    exe = os.path.join(BUILD_DIR, "setup.exe")
    with file_lock(name):
        copy = os.path.join(out, "setup.exe")
        if os.path.exists(copy) and os.path.getmtime(copy) >= programs_time(exe):
            return out
        tools = os.path.join(SOURCE_DIR, "tools", "medium")
        staging = os.path.join(E2E_DIR, name + ".staging")
        shutil.rmtree(staging, ignore_errors=True)
        try:
            subprocess.run([sys.executable, os.path.join(tools, "demo_content.py"), "--programs",
                            os.path.join(BUILD_DIR, "demo-content"), "--staging", staging], check=True)
            adjust(staging)
            os.makedirs(out, exist_ok=True)
            subprocess.run([sys.executable, os.path.join(tools, "build_medium.py"), "layout", "--staging", staging,
                            "--out", out, "--setup", exe, "--replace"], check=True, stdout=subprocess.DEVNULL)
        finally:
            shutil.rmtree(staging, ignore_errors=True)
    return out


# ---------------------------------------------------------------- prefixes

def template_dir():
    """A booted prefix made once per build directory; tests copy it (cp -a of
    the ~600 MB tree takes ~2 s, a fresh wineboot ~12 s)."""
    tpl = os.path.join(E2E_DIR, "template")
    stamp = os.path.join(tpl, ".quillon-template-3")
    with file_lock("template"):
        if os.path.exists(stamp):
            return tpl
        shutil.rmtree(tpl, ignore_errors=True)
        env = base_env(tpl)
        env.pop("DISPLAY", None)
        log("creating the Wine prefix template", tpl)
        # A first boot on a loaded machine has been seen to hang: one more try.
        for attempt in (1, 2):
            try:
                subprocess.run(["wineboot", "-i"], env=env, check=True, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=240)
                subprocess.run(["wineserver", "-w"], env=env, check=True, timeout=120)
                break
            except subprocess.TimeoutExpired:
                subprocess.run(["wineserver", "-k"], env=env, check=False, timeout=60)
                if attempt == 2:
                    raise
                shutil.rmtree(tpl, ignore_errors=True)
                log("wineboot did not finish; trying once more")
        # Every Windows has C:\windows\system; a win64 prefix made without its
        # 32-bit half lacks it.
        os.makedirs(os.path.join(tpl, "drive_c", "windows", "system"), exist_ok=True)
        # Z: would make the drive search walk the whole Linux file system.
        with contextlib.suppress(FileNotFoundError):
            os.unlink(os.path.join(tpl, "dosdevices", "z:"))
        # Profile folders (Desktop, Documents, ... and AppData's Templates) link
        # to $HOME; the search would walk it, and through ~/.wine all of /.
        for parent, dirs, _ in os.walk(os.path.join(tpl, "drive_c")):
            for entry in dirs:
                path = os.path.join(parent, entry)
                if os.path.islink(path):
                    os.unlink(path)
                    os.mkdir(path)
        append_registry(tpl, "user.reg", reg_section(
            "Software\\Wine\\DllOverrides", {name: "native,builtin" for name in NATIVE_DLLS}))
        open(stamp, "w").close()
    return tpl


_open_prefixes = []


class Prefix:
    """A Wine prefix of one test module: C: the prefix's own, D: the medium as
    CD-ROM, E: an empty fixed disk (``e_drive``), optionally F: a small tmpfs.

    desktop: Wine virtual desktop size ("1024x768"), or None for none.
    win95: report Windows 95 instead of NT.
    small_drive_kb: mount a tmpfs of that size (root only) as fixed drive F:.
    real_disk_mb: instead, an ext4 file system of that size in an image on the
    host's disk, through a loop device (root only): a disk where flushes wait.
    display: an X display to use; default $QUILLON_E2E_DISPLAY (to watch a
    run), else an Xvfb of the desktop's size.
    """

    def __init__(self, name, desktop="1024x768", win95=False, small_drive_kb=None, medium=None,
                 path=None, display=None, real_disk_mb=None):
        self.name = name
        self.path = path or os.path.join(E2E_DIR, "prefixes", name)
        self.medium = medium or medium_dir()
        self.e_drive = os.path.join(self.path, "e_drive")
        self.f_drive = None
        self.server = None
        self.display = None
        self.desktop = desktop
        self._make(win95, small_drive_kb, real_disk_mb)
        self.display = Display(desktop or "1024x768", display or os.environ.get("QUILLON_E2E_DISPLAY"))
        self.env = base_env(self.path)
        self.env["DISPLAY"] = self.display.name
        self.log_path = self.path + ".wine.log"
        self._log = open(self.log_path, "w")
        # One persistent server for the module: a cold start costs ~2.5 s per process.
        self.server = subprocess.Popen(PIN + ["wineserver", "-f", "-p"], env=self.env,
                                       stdout=self._log, stderr=self._log)
        _open_prefixes.append(self)

    def _make(self, win95, small_drive_kb, real_disk_mb=None):
        tpl = template_dir()
        self._unmount()
        shutil.rmtree(self.path, ignore_errors=True)
        os.makedirs(os.path.dirname(self.path), exist_ok=True)
        subprocess.run(["cp", "-a", tpl, self.path], check=True)
        os.makedirs(self.e_drive)
        dosdevices = os.path.join(self.path, "dosdevices")
        os.symlink(self.medium, os.path.join(dosdevices, "d:"))
        os.symlink(self.e_drive, os.path.join(dosdevices, "e:"))
        drives = {"d:": "cdrom", "e:": "hd"}
        if small_drive_kb or real_disk_mb:
            self.f_drive = os.path.join(self.path, "f_drive")
            os.makedirs(self.f_drive)
        if small_drive_kb:
            subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%dk" % small_drive_kb, "tmpfs", self.f_drive],
                           check=True)
        if real_disk_mb:
            image = self.path + ".img"
            with open(image, "wb") as f:
                f.truncate(real_disk_mb << 20)
            # Its tables written now, as the benchmark's: no writes of the
            # kernel's own in the background while the case runs.
            subprocess.run(["mkfs.ext4", "-q", "-F", "-E", "lazy_itable_init=0,lazy_journal_init=0", image],
                           check=True)
            subprocess.run(["mount", "-o", "loop", image, self.f_drive], check=True)
        if small_drive_kb or real_disk_mb:
            os.symlink(self.f_drive, os.path.join(dosdevices, "f:"))
            drives["f:"] = "hd"
        append_registry(self.path, "system.reg", reg_section("Software\\Wine\\Drives", drives))
        user = ""
        if self.desktop:
            user += reg_section("Software\\Wine\\Explorer", {"Desktop": "Default"})
            user += reg_section("Software\\Wine\\Explorer\\Desktops", {"Default": self.desktop})
        if win95:
            user += reg_section("Software\\Wine", {"Version": "win95"})
        # The title's face is missing from Wine; a metric-compatible serif stands in.
        user += reg_section("Software\\Wine\\Fonts\\Replacements", {"Times New Roman": "Liberation Serif"})
        if user:
            append_registry(self.path, "user.reg", user)

    def _unmount(self):
        # E: too: a benchmark killed midway leaves its drive mounted there.
        for drive in ("e_drive", "f_drive"):
            mnt = os.path.join(self.path, drive)
            if os.path.ismount(mnt):
                subprocess.run(["umount", "-l", mnt], check=False)
        if os.path.exists(self.path + ".img"):
            os.unlink(self.path + ".img")

    # -- paths

    def unix_path(self, win_path):
        """Linux path of a Windows path on C:, D: or E: (or F:)."""
        drive, rest = win_path[:2].lower(), win_path[2:].lstrip("\\")
        roots = {"c:": os.path.join(self.path, "drive_c"), "d:": self.medium, "e:": self.e_drive}
        if self.f_drive:
            roots["f:"] = self.f_drive
        if drive not in roots:
            raise HarnessError("no such drive: " + win_path)
        return os.path.join(roots[drive], *[p for p in rest.split("\\") if p])

    def plant(self, win_path, content=b"MZ"):
        """Creates a file (and its directories) at a Windows path."""
        path = self.unix_path(win_path)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(content)
        return path

    def clear_drive(self, letter):
        """Empties E: (or F:) between test cases."""
        root = self.unix_path(letter + ":\\")
        for entry in os.listdir(root):
            p = os.path.join(root, entry)
            if os.path.isdir(p) and not os.path.islink(p):
                shutil.rmtree(p)
            else:
                os.unlink(p)

    # -- processes

    def wine(self, *args, timeout=120, check=True):
        """Runs a Windows program to its end (a console tool, reg, ...)."""
        return subprocess.run(PIN + ["wine"] + list(args), env=self.env, timeout=timeout, check=check,
                              stdout=subprocess.PIPE, stderr=self._log, text=True)

    def session(self):
        return Session(self)

    def screenshot(self, name):
        """Saves the whole screen as SCREENSHOT_DIR/<name>.png; returns its path or None."""
        os.makedirs(SCREENSHOT_DIR, exist_ok=True)
        out = os.path.join(SCREENSHOT_DIR, name + ".png")
        env = dict(os.environ, DISPLAY=self.display.name)
        if shutil.which("import"):
            r = subprocess.run(["import", "-window", "root", out], env=env, timeout=60,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            if r.returncode == 0:
                return out
        return None

    def log_tail(self, lines=20):
        """The last lines Wine wrote for this prefix (a crash's trace), for a failure's message."""
        self._log.flush()
        with open(self.log_path, errors="replace") as f:
            tail = f.read().splitlines()[-lines:]
        return "".join("\n  wine: " + line for line in tail)

    def close(self):
        if self in _open_prefixes:
            _open_prefixes.remove(self)
        subprocess.run(["wineserver", "-k"], env=self.env, timeout=60, check=False)
        if self.server:
            try:
                self.server.wait(20)
            except subprocess.TimeoutExpired:
                self.server.kill()
            self.server = None
        if self.display:
            self.display.close()
        self._unmount()
        self._log.close()


# ---------------------------------------------------------------- disk state and processes

def tree_state(root):
    """{relative path: (type, permission bits, DOS attributes, content hash, time
    written)} of everything below root: what a byte-identical tree must match.
    A file's time counts in Windows' 100 ns steps, a directory's not at all
    (it changes with every name made or removed in it)."""
    out = {}
    for base, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(base, name)
            st = os.lstat(path)
            try:
                dos = os.getxattr(path, "user.DOSATTRIB", follow_symlinks=False)
            except OSError:
                dos = None
            if os.path.islink(path):
                data = os.readlink(path)
            elif os.path.isdir(path):
                data = None
            else:
                with open(path, "rb") as f:
                    data = hashlib.sha1(f.read()).hexdigest()
            written = st.st_mtime_ns // 100 if os.path.isfile(path) else None
            out[os.path.relpath(path, root)] = (st.st_mode & 0o170000, st.st_mode & 0o777, dos, data,
                                                written)
    return out


def tree_changes(before, after):
    """The paths whose state differs between two tree_state results."""
    return sorted(k for k in set(before) | set(after) if before.get(k) != after.get(k))


def wine_process(prefix, exe_name, timeout=30):
    """Linux pid of a Wine program of the prefix: its environment names the
    prefix, its command line (padded with blanks and NULs) ends in exe_name."""
    deadline = time.time() + timeout
    want = ("WINEPREFIX=" + prefix.path).encode()
    while time.time() < deadline:
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open("/proc/%s/cmdline" % pid, "rb") as f:
                    cmd = f.read().rstrip(b"\0 ").decode(errors="replace")
                with open("/proc/%s/environ" % pid, "rb") as f:
                    env = f.read().split(b"\0")
            except OSError:
                continue
            if want in env and cmd.lower().endswith(exe_name.lower()):
                return int(pid)
        time.sleep(0.05)
    raise HarnessError("no %s running in %s" % (exe_name, prefix.path))


def written_bytes(pid):
    with open("/proc/%d/io" % pid) as f:
        return next(int(line.split()[1]) for line in f if line.startswith("write_bytes"))


def when_written(prefix, nbytes, kill=False, exe_name="setup.exe", timeout=120):
    """Waits until the program has written nbytes (a copy outruns the screen,
    so this is the clock), then kills it with SIGKILL when asked."""
    pid = wine_process(prefix, exe_name)
    deadline = time.time() + timeout
    while written_bytes(pid) < nbytes:
        if time.time() > deadline:
            raise HarnessError("%s did not write %d bytes" % (exe_name, nbytes))
        time.sleep(0.002)
    if kill:
        os.kill(pid, 9)
        for _ in range(500):   # gone, or a zombie its Wine parent has not reaped
            try:
                with open("/proc/%d/stat" % pid) as f:
                    if f.read().rsplit(")", 1)[1].split()[0] == "Z":
                        break
            except OSError:
                break
            time.sleep(0.02)


# ---------------------------------------------------------------- driver session

class DriverError(AssertionError):
    pass


class PageUnavailable(DriverError):
    """An input for the current page came when it had ended (a page is hidden
    at once when it ends, and gone a moment later), a modal dialog covered it,
    or it was still busy with an earlier click after 10 s: the driver refuses
    it, as the page would not take a person's click then."""


class Session:
    """One UI driver process. ``cmd`` returns the answer after "ok "; an "err"
    answer or a missing answer raises DriverError (a test failure), with a
    screenshot of that moment."""

    failures = 0

    def __init__(self, prefix):
        self.prefix = prefix
        exe = os.path.join(TOOLS_DIR, "uidriver.exe")
        if not os.path.exists(exe):
            raise HarnessError("uidriver.exe not built in " + TOOLS_DIR)
        self.proc = subprocess.Popen(PIN + ["wine", exe], env=prefix.env, stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=prefix._log, text=True,
                                     encoding="utf-8", bufsize=1)
        self.lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()
        self.transcript = []
        self.quiet = 0
        self.hwnd = None
        # Every dialog whose Next / OK this session pressed. A page stays up a
        # moment after its Next: still busy with it, or enabled again when the
        # alert its Next raised is answered, until its own code ends it. Taken
        # for a new page there, it would get a second Next (its handler run
        # again, or a click on a page that has ended).
        self.pressed = set()

    @contextlib.contextmanager
    def tolerated(self):
        """Steps that may fail without it being a fault (the caller suppresses
        the DriverError): a failure inside leaves no screenshot behind."""
        self.quiet += 1
        try:
            yield
        finally:
            self.quiet -= 1

    def _read(self):
        for line in self.proc.stdout:
            self.lines.put(line.rstrip("\n"))
        self.lines.put(None)

    def raw(self, line, timeout=30):
        """Sends one command and returns the whole answer line ("ok ..." / "err ...")."""
        if self.proc.poll() is not None:
            raise DriverError("the UI driver has ended (exit status %s)" % self.proc.returncode)
        self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()
        try:
            answer = self.lines.get(timeout=timeout)
        except queue.Empty:
            raise DriverError("no answer to %r within %s s" % (line, timeout))
        if answer is None:
            with contextlib.suppress(subprocess.TimeoutExpired):
                self.proc.wait(5)
            raise DriverError("the UI driver ended on %r (exit status %s; Wine's output: %s)"
                              % (line, self.proc.returncode, self.prefix.log_path))
        self.transcript.append((line, answer))
        return answer

    def cmd(self, line, timeout=30):
        answer = self.raw(line, timeout)
        if answer == "ok":
            return ""
        if not answer.startswith("ok "):
            # A process that has ended leaves nothing on the screen to show,
            # only how it ended: a crash's status tells it from a return.
            if answer == "err process exited":
                evidence = "" if self.quiet else " (%s)%s" % (self.raw("exitcode 0", timeout=10),
                                                               self.prefix.log_tail())
            else:
                evidence = "" if self.quiet else self._evidence()
            kind = PageUnavailable if answer in ("err page gone", "err page disabled", "err page busy") else DriverError
            raise kind("%s -> %s%s" % (line, answer, evidence))
        return answer[3:]

    def _evidence(self):
        """What was on the screen when a command failed: a screenshot and the windows."""
        Session.failures += 1
        shot = self.prefix.screenshot("failure-%03d" % Session.failures)
        try:
            windows = self.raw("windows", timeout=10)
        except DriverError:
            windows = "(no answer)"
        return "\n  screenshot: %s\n  windows: %s" % (shot, windows)

    # -- convenience

    def start_setup(self, path="D:\\setup.exe", cwd="D:\\"):
        return int(self.cmd("start %s|%s" % (path, cwd)))

    @staticmethod
    def _page_query(ids, caption, timeout, any_state, fine=False):
        id_list = ",".join(str(i) for i in ids) if ids else "-"
        flag = ("+any " if any_state else "") + ("+fine " if fine else "")
        return "wait_page %d %s%s %s" % (timeout * 1000, flag, id_list, caption)

    def wait_page(self, ids, caption="", timeout=20, any_state=False, fine=False):
        """Waits for a dialog holding all control ids (an id prefixed "!" must be
        absent) and makes it current; returns its caption. fine: a page taking
        the foreground is seen within milliseconds (for timings)."""
        answer = self.cmd(self._page_query(ids, caption, timeout, any_state, fine), timeout + 15)
        hwnd, _, title = answer.partition(" ")
        self.hwnd = hwnd
        return title

    def try_wait_page(self, ids, caption="", timeout=2):
        """As wait_page, but None when no such dialog came."""
        # The driver's look at a page waits on the page's own thread, which
        # the copy leaves to itself between two files: on a loaded machine the
        # answer may come well after the driver's own timeout.
        answer = self.raw(self._page_query(ids, caption, timeout, False), timeout + 60)
        if not answer.startswith("ok "):
            return None
        self.hwnd, _, title = answer[3:].partition(" ")
        return title

    def wait_gone(self, timeout=20, hwnd=None, fine=False):
        self.cmd("wait_gone %d %s%s" % (timeout * 1000, "+fine " if fine else "", hwnd or ""),
                 timeout + 15)

    def text(self, cid):
        return self.cmd("text %d" % cid)

    def caption(self):
        return self.cmd("caption")

    def items(self, cid):
        return json.loads(self.cmd("items %d" % cid))

    def cursel(self, cid):
        return int(self.cmd("cursel %d" % cid))

    def checked(self, cid):
        return int(self.cmd("checked %d" % cid))

    def enabled(self, cid):
        return self.cmd("enabled %d" % cid) == "1"

    def click(self, cid):
        answer = self.cmd("click %d" % cid)
        if cid == ID.IDOK:
            self.pressed.add(self.hwnd)
        return answer

    def use(self, hwnd):
        """Makes another window of the process (a page under its alert) current."""
        self.cmd("use %s" % hwnd)
        self.hwnd = hwnd

    def command(self, cid):
        return self.cmd("command %d" % cid)

    def settext(self, cid, text):
        return self.cmd("settext %d %s" % (cid, text))

    def select(self, cid, index):
        return self.cmd("select %d %d" % (cid, index))

    def key(self, name, cid=None):
        return self.cmd("key %s %s" % (name, "" if cid is None else cid))

    def controls(self):
        return json.loads(self.cmd("controls"))

    def rect(self, cid=None):
        return [int(v) for v in self.cmd("rect" if cid is None else "rect %d" % cid).split()]

    def hold(self, path=None):
        """Keeps a file open with no sharing (None: lets it go again)."""
        return self.cmd("hold " + path if path else "release")

    def metrics(self):
        return [int(v) for v in self.cmd("metrics").split()]

    def drive(self, root):
        """(drive type, free bytes, total bytes) of a drive root such as "F:\\"."""
        return tuple(int(v) for v in self.cmd("drive " + root).split())

    def windows(self):
        return json.loads(self.cmd("windows"))

    def client_rect(self, hwnd):
        """Client area of any window of the process (the setup window too) on the screen."""
        return [int(v) for v in self.cmd("clientrect %s" % hwnd).split()]

    def move(self, hwnd, x, y):
        """Moves a window (without activating it), as dragging its caption would."""
        self.cmd("move %s %d %d" % (hwnd, x, y))

    def regread(self, root, key, value):
        """(type, data) of a registry value, (type, text, byte count) for strings,
        or None when it does not exist."""
        answer = self.raw("regread %s %s|%s" % (root, key, value))
        if answer.startswith("err"):
            return None
        kind, _, data = answer[3:].partition(" ")
        if kind == "dword":
            return kind, int(data)
        if kind in ("sz", "expand_sz"):
            # The byte count is kept apart so a test can tell a stored terminator.
            size, _, text = data.partition(" ")
            return kind, json.loads(text), int(size)
        return kind, data

    def exit_code(self, timeout=30):
        return int(self.cmd("exitcode %d" % (timeout * 1000), timeout + 15))

    def answer(self, button, timeout=20):
        """Presses a button of the current alert and waits until the alert is
        gone: its owner is enabled again a moment before it disappears, and a
        wait for the owner's next dialog could otherwise find the old alert."""
        alert = self.hwnd
        self.click(button)
        self.wait_gone(timeout, hwnd=alert)

    def answer_alert(self, number_caption, button, timeout=20):
        """Waits for an alert by its caption, presses a button; returns the caption."""
        title = self.wait_page([button], number_caption, timeout)
        self.click(button)
        return title

    def past_welcome(self, language=10, start=True):
        """Starts setup (unless start is False: it is already on its language
        page), picks the language and starts the search on the welcome page."""
        if start:
            self.start_setup()
        self.wait_page(LANGUAGE, timeout=60)
        self.click(language)
        self.click(1)
        self.wait_page(WELCOME)
        self.click(1)

    def to_options(self, dst, language=10, invalid_path="Invalid Path", search_timeout=240,
                   start=True):
        """Starts setup (see past_welcome) and goes to the component page of a
        new installation into dst (created on request); an installation found
        there by an earlier case is passed over with "Install new"."""
        self.past_welcome(language, start)
        self.wait_page(FOUND_OR_DEST, timeout=search_timeout)
        if 12 in {c["id"] for c in self.controls()}:
            self.click(12)
            self.click(1)
            self.wait_page(DEST)
        self.settext(11, dst)
        self.click(1)
        # Where dst does not exist yet, the question whether to create it comes
        # first; on a loaded machine it may take a while.
        deadline = time.time() + 30
        while self.try_wait_page(OPTIONS, timeout=1) is None:
            if self.try_wait_page(YES_NO_ALERT, invalid_path, timeout=1) is not None:
                self.answer(1)
            elif time.time() > deadline:
                self.wait_page(OPTIONS, timeout=1)

    def to_update_options(self, directory, language=10, search_timeout=240):
        """Starts setup and goes to the component page of an update of the
        installation found in directory (one without a settings file)."""
        self.past_welcome(language)
        self.wait_page(FOUND, timeout=search_timeout)
        self.select(10, self.items(10).index(directory))
        self.click(1)
        self.wait_page(OPTIONS, timeout=30)

    def next_until(self, ids, caption="", timeout=300):
        """Next on every page that has one until a dialog with ids (and caption)
        is up; never on a page whose Next was pressed already (see pressed)."""
        deadline = time.time() + timeout
        passed = []   # what was pressed on the way, for a failure to name
        while self.try_wait_page(ids, caption, timeout=1) is None:
            if time.time() > deadline:
                raise DriverError("no %s %r within %s s, after pressing 1 on %s%s"
                                  % (ids, caption, timeout, passed, self._evidence()))
            title = self.try_wait_page([1], timeout=1)
            # The target may have come up since the first look: never click it.
            if title is None or self.hwnd in self.pressed or (caption and caption in title):
                continue
            # The page may end, or an alert cover it, between the look and the click.
            with contextlib.suppress(PageUnavailable), self.tolerated():
                passed.append(title)
                self.click(1)

    def close(self):
        if self.proc.poll() is None:
            with contextlib.suppress(Exception):
                self.raw("kill", timeout=10)
            with contextlib.suppress(Exception):
                self.proc.stdin.write("quit\n")
                self.proc.stdin.flush()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
        for pipe in (self.proc.stdin, self.proc.stdout):
            with contextlib.suppress(Exception):
                pipe.close()


# ---------------------------------------------------------------- test base

class WineTestCase(unittest.TestCase):
    """Base for a test module: one prefix for all its cases (class attribute
    ``prefix``), a fresh driver session per case (``self.ui``) whose setup
    process is killed at the end of the case whatever happened."""

    prefix_options = {}
    prefix = None

    @classmethod
    def setUpClass(cls):
        cls.prefix = Prefix(cls.__module__ + "." + cls.__name__, **cls.prefix_options)

    @classmethod
    def tearDownClass(cls):
        if cls.prefix:
            cls.prefix.close()
            cls.prefix = None

    def setUp(self):
        self.ui = self.prefix.session()
        self.addCleanup(self.ui.close)

    def shot(self, name):
        return self.prefix.screenshot("%s.%s" % (type(self).__name__, name))


def limit_run(seconds, what="module"):
    """After seconds, closes every open prefix (Wine, Xvfb, mounts) and ends
    the process with status 3, whatever it is doing."""
    def give_up():
        log("%s time limit reached" % what)
        for prefix in list(_open_prefixes):
            with contextlib.suppress(Exception):
                prefix.close()
        os._exit(3)

    timer = threading.Timer(seconds, give_up)
    timer.daemon = True
    timer.start()


def main():
    """Runs the calling module's tests with a hard limit on the whole module."""
    limit_run(int(os.environ.get("QUILLON_E2E_LIMIT", "840")))
    unittest.main(module="__main__", verbosity=2)


if __name__ == "__main__" and sys.argv[1:] == ["template"]:
    # tools/test.sh makes the template before ctest, outside any test's time limit.
    print(template_dir())
