#!/usr/bin/env python3
"""Tests of the medium builder and of the demo medium it makes."""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import build_medium  # noqa: E402
import demo_content  # noqa: E402


def make_tree(root, files):
    for rel, content in files.items():
        path = root / rel
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(content if isinstance(content, bytes) else b"x" * content)


def run_main(*argv):
    with open(os.devnull, "w") as sink:
        saved = sys.stdout, sys.stderr
        sys.stdout = sys.stderr = sink
        try:
            return build_medium.main(list(argv))
        finally:
            sys.stdout, sys.stderr = saved


def file_version_string(data):
    """The FileVersion value of a PE's version resource, read from its bytes."""
    key = "FileVersion".encode("utf-16-le") + b"\0\0"
    at = data.find(key)
    if at < 0:
        return None
    at += len(key)
    at += (-at) % 4
    end = at
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[at:end].decode("utf-16-le")


class MediumTestCase(unittest.TestCase):
    def setUp(self):
        self.tmp = Path(tempfile.mkdtemp(prefix="medium-test-"))
        self.addCleanup(shutil.rmtree, self.tmp)
        self.staging = self.tmp / "staging"
        self.cd = self.tmp / "cd"


class LayoutAndCatalogues(MediumTestCase):
    FILES = {
        "quillon/USA/readme.wri": 10,
        "quillon/USA/default.qlx": 4,
        "quillon/USA/Win95/quillon.exe": 1000,
        "quillon/USA/Win95/quillon.qpr": 23,
        "quillon/USA/Win95/Modules/a.qmd": 7,
        "quillon/USA/Win95/Modules/deeper/b.qmd": 5,
        "quillon/USA/Win95/extra/not_installed.bin": 999,
        "quillon/USA/Win95/special/s.qsp": 1,
        "quillon/USA/Samples/Fonts/fonts.lst": 3,
        "quillon/USA/Samples/Fonts/Serial/s.qft": 11,
        "quillon/USA/Samples/Fonts/TYPESET/t.qkt": 13,
        "quillon/USA/help/h.hlp": 2,
        "quillon/USA/Samples/ClipArt/c.bmp": 0x0102,
        "quillon/USA/Pentium/quillon.exe": 50,
        "quillon/FRG/Win95/quillon.exe": 77,
        "quillon/FRG/hilfe/not_a_component.hlp": 5,
        "inst/Win95/msvcrt20.dll": 9,
    }

    def lay_out(self):
        make_tree(self.staging, self.FILES)
        setup = self.tmp / "setup.exe"
        setup.write_bytes(b"MZ")
        return build_medium.layout(self.staging, self.cd, setup)

    def test_entries_follow_what_the_copy_installs(self):
        catalogues = self.lay_out()
        self.assertEqual(set(catalogues), {"USA_W95.QTB", "USA_PENT.QTB", "FRG_W95.QTB"})

        usa = [0] * 19
        usa[0] = 1023 + self.manifest_size()   # main files only: no sub-directory counted
        usa[1] = 12            # modules, recursively
        usa[5] = 3 + 11 + 13   # fonts with its serial and typeset merge directories
        usa[6] = 2             # help
        usa[17] = 1            # special lies in the platform tree
        usa[18] = 0x0102       # clipart
        self.assertEqual(catalogues["USA_W95.QTB"], usa)

        # Language-tree components are shared, platform-tree ones are not.
        pentium = list(usa)
        pentium[0], pentium[1], pentium[17] = 50 + self.manifest_size(), 0, 0
        self.assertEqual(catalogues["USA_PENT.QTB"], pentium)
        self.assertEqual(catalogues["FRG_W95.QTB"], [77 + self.manifest_size()] + [0] * 18)

        self.assertEqual((self.cd / "setup.exe").read_bytes(), b"MZ")
        self.assertTrue((self.cd / "inst/Win95/msvcrt20.dll").is_file())
        self.assertEqual(build_medium.check(self.cd), [])
        self.assertEqual(run_main("check", "--cd", str(self.cd)), 0)

    def manifest_size(self):
        return (self.cd / "quillon/USA/Win95" / build_medium.MANIFEST_NAME).stat().st_size

    def test_manifest_lists_where_every_file_lands(self):
        self.lay_out()
        manifest = (self.cd / "quillon/FRG/Win95/uinstall.lst").read_bytes()
        self.assertEqual((self.cd / "quillon/USA/Pentium/uinstall.lst").read_bytes(), manifest)
        lines = manifest.decode("cp1252").split("\r\n")
        self.assertEqual((lines[0], lines[-1]), ("QMF|1", ""))
        entries = {tuple(line.split("|")[:4]): line.split("|")[4:] for line in lines[1:-1]}
        # Language-tree files once per language, platform-tree files per platform; merge
        # directories emptied into their component; the settings file and the template marked.
        self.assertEqual(set(entries), {
            ("F", "USA", "", "readme.wri"), ("T", "USA", "", "default.qlx"),
            ("F", "USA", "Win95", "quillon.exe"), ("S", "USA", "Win95", "quillon.qpr"),
            ("F", "USA", "Win95", "modules\\a.qmd"), ("F", "USA", "Win95", "modules\\deeper\\b.qmd"),
            ("F", "USA", "Win95", "special\\s.qsp"), ("F", "USA", "", "fonts\\fonts.lst"),
            ("F", "USA", "", "fonts\\s.qft"), ("F", "USA", "", "fonts\\t.qkt"),
            ("F", "USA", "", "help\\h.hlp"), ("F", "USA", "", "clipart\\c.bmp"),
            ("F", "USA", "Pentium", "quillon.exe"), ("F", "FRG", "Win95", "quillon.exe")})
        self.assertEqual(entries[("F", "USA", "", "clipart\\c.bmp")],
                         ["258", "%08x" % zlib.crc32(b"x" * 0x0102)])

        # German destination names; a stale manifest is reported once for all its trees.
        (self.cd / "quillon/FRG/Win95/Modules").mkdir(parents=True)
        (self.cd / "quillon/FRG/Win95/Modules/m.qmd").write_bytes(b"m")
        again = build_medium.manifest_text(self.cd).decode("cp1252")
        self.assertIn("F|FRG|Win95|module\\m.qmd|1|%08x\r\n" % zlib.crc32(b"m"), again)
        self.assertIn("uinstall.lst in USA/Win95, USA/Pentium, FRG/Win95: does not list the files "
                      "as they are", build_medium.check(self.cd))

    def test_catalogue_bytes(self):
        self.lay_out()
        data = (self.cd / "inst/inst/USA_W95.QTB").read_bytes()
        self.assertEqual(len(data), 76)
        self.assertEqual(data[0:4], (1023 + self.manifest_size()).to_bytes(4, "little"))
        self.assertEqual(data[72:76], b"\x02\x01\x00\x00")
        self.assertEqual(data[4 * 5:4 * 6], (27).to_bytes(4, "little"))

    def test_check_reports_every_catalogue_out_of_step(self):
        self.lay_out()
        with open(self.cd / "quillon/USA/help/h.hlp", "ab") as f:
            f.write(b"more")
        (self.cd / "inst/inst/FRG_W95.QTB").unlink()
        pentium = self.cd / "inst/inst/USA_PENT.QTB"
        pentium.write_bytes(pentium.read_bytes()[:40])
        (self.cd / "inst/inst/POL_W95.QTB").write_bytes(bytes(76))

        problems = build_medium.check(self.cd)
        self.assertIn("USA_W95.QTB: entry 6 (help) states 2 bytes, the files hold 6", problems)
        self.assertTrue(any(p.startswith("FRG_W95.QTB: missing") for p in problems), problems)
        self.assertIn("USA_PENT.QTB: 40 bytes long, not 76", problems)
        self.assertIn("POL_W95.QTB: no product tree for this catalogue", problems)
        self.assertIn("uinstall.lst in USA/Win95, USA/Pentium, FRG/Win95: does not list the files "
                      "as they are", problems)
        self.assertEqual(len(problems), 5, problems)
        self.assertEqual(run_main("check", "--cd", str(self.cd)), 1)

    def test_main_file_growing_is_caught_in_entry_zero(self):
        self.lay_out()
        (self.cd / "quillon/USA/Win95/new.dat").write_bytes(b"12345")
        size = 1023 + self.manifest_size()
        self.assertEqual(build_medium.check(self.cd)[0],
                         "USA_W95.QTB: entry 0 (main files) states %d bytes, the files hold %d"
                         % (size, size + 5))


class NamesAndLimits(MediumTestCase):
    def test_names_are_matched_in_any_case(self):
        make_tree(self.staging, {
            "QUILLON/usa/WIN95/Quillon.EXE": 8,
            "QUILLON/usa/SAMPLES/fonts/SeRiAl/f.qft": 6,
            "QUILLON/usa/WIN95/DRIVERS/d.qdr": 4,
        })
        catalogues = build_medium.layout(self.staging, self.cd)
        entries = catalogues["USA_W95.QTB"]
        manifest = build_medium.find_child(self.cd / "QUILLON/usa/WIN95", "uinstall.lst")
        self.assertEqual((entries[0], entries[2], entries[5]), (8 + manifest.stat().st_size, 4, 6))
        self.assertEqual(build_medium.check(self.cd), [])

    def test_names_differing_only_in_case_are_refused(self):
        make_tree(self.staging, {
            "quillon/USA/Win95/quillon.exe": 1,
            "quillon/USA/help/Index.hlp": 1,
            "quillon/USA/help/INDEX.hlp": 2,
        })
        with self.assertRaisesRegex(build_medium.MediumError, "differ only in case"):
            build_medium.layout(self.staging, self.cd)
        self.assertFalse(self.cd.exists())

    def test_merge_directory_landing_on_another_file_is_refused(self):
        base = {"quillon/USA/Win95/quillon.exe": 1, "quillon/USA/samples/fonts/a.qft": 1}
        for clash in ("quillon/USA/samples/fonts/Serial/A.QFT",
                      "quillon/USA/samples/fonts/typeset/serial/a.qft"):
            with self.subTest(clash=clash):
                shutil.rmtree(self.staging, ignore_errors=True)
                make_tree(self.staging, dict(base, **{clash: 2}))
                with self.assertRaisesRegex(build_medium.MediumError, "same file"):
                    build_medium.layout(self.staging, self.cd)
                self.assertFalse(self.cd.exists())
        # A file of the merge directory whose name is a directory of the component.
        shutil.rmtree(self.staging)
        make_tree(self.staging, {"quillon/USA/Win95/quillon.exe": 1,
                                 "quillon/USA/help/sub/x.hlp": 1, "quillon/USA/help/serial/sub": 1})
        with self.assertRaisesRegex(build_medium.MediumError, "makes a directory"):
            build_medium.layout(self.staging, self.cd)

    def test_entry_limit_is_32_bits(self):
        tree = self.tmp / "quillon/USA"
        make_tree(tree, {"Win95/quillon.exe": 1})
        big = tree / "samples/clipart/huge.bmp"
        big.parent.mkdir(parents=True)
        with open(big, "wb") as f:
            f.truncate(0xFFFFFFFF)
        entries = build_medium.catalogue_entries(tree, tree / "Win95")
        self.assertEqual(entries[18], 0xFFFFFFFF)
        self.assertEqual(build_medium.pack_catalogue(entries)[72:], b"\xff\xff\xff\xff")

        (big.parent / "one_more.bmp").write_bytes(b"x")
        with self.assertRaisesRegex(build_medium.MediumError, "more than a catalogue entry"):
            build_medium.catalogue_entries(tree, tree / "Win95")

    def test_no_language_tree_is_an_error(self):
        make_tree(self.staging, {"quillon/XYZ/Win95/quillon.exe": 1})
        self.assertEqual(run_main("layout", "--staging", str(self.staging), "--out", str(self.cd)), 2)


class OutputDirectory(MediumTestCase):
    def test_rebuild_replaces_an_earlier_medium_only(self):
        make_tree(self.staging, {"quillon/USA/Win95/quillon.exe": 1, "quillon/FRA/Win95/quillon.exe": 2})
        build_medium.layout(self.staging, self.cd)
        with self.assertRaisesRegex(build_medium.MediumError, "not empty"):
            build_medium.layout(self.staging, self.cd)

        shutil.rmtree(self.staging / "quillon/FRA")
        build_medium.layout(self.staging, self.cd, replace=True)
        self.assertEqual(sorted(p.name for p in (self.cd / "inst/inst").iterdir()), ["USA_W95.QTB"])
        self.assertEqual(build_medium.check(self.cd), [])

        elsewhere = self.tmp / "home"
        make_tree(elsewhere, {"notes.txt": 3})
        with self.assertRaisesRegex(build_medium.MediumError, "does not look like a medium"):
            build_medium.layout(self.staging, elsewhere, replace=True)
        self.assertTrue((elsewhere / "notes.txt").is_file())

    def test_staged_catalogues_are_refused(self):
        make_tree(self.staging, {"quillon/USA/Win95/quillon.exe": 1, "inst/inst/USA_W95.QTB": 76})
        with self.assertRaisesRegex(build_medium.MediumError, "already holds catalogues"):
            build_medium.layout(self.staging, self.cd)


def built_content():
    build = os.environ.get("QUILLON_BUILD_DIR")
    content = Path(build) / "demo-content" if build else None
    if content is None or not (content / "quillon.exe").is_file():
        return None
    return content


@unittest.skipIf(built_content() is None, "QUILLON_BUILD_DIR with a built demo-content needed")
class DemoMedium(MediumTestCase):
    def setUp(self):
        super().setUp()
        demo_content.build(built_content(), self.staging)
        build_medium.layout(self.staging, self.cd)

    def test_demo_medium_is_complete_and_consistent(self):
        self.assertEqual(build_medium.check(self.cd), [])
        for lang in ("USA", "FRG", "FRA"):
            lang_dir = build_medium.find_child(self.cd / "quillon", lang)
            platform_dir = build_medium.find_child(lang_dir, "Win95")
            for name in ("readme.wri", "default.qlx"):
                self.assertIsNotNone(build_medium.find_child(lang_dir, name), (lang, name))
            for name in ("quillon.exe", "lumen.exe", "uinstall.exe", "quillon.qpr"):
                self.assertIsNotNone(build_medium.find_child(platform_dir, name), (lang, name))
            for tree, src_name in build_medium.COMPONENTS:
                base = lang_dir if tree == build_medium.LANGUAGE_TREE else platform_dir
                source = build_medium.resolve(base, src_name)
                self.assertTrue(source and any(p.is_file() for p in source.rglob("*")),
                                (lang, src_name))
            fonts = build_medium.resolve(lang_dir, "samples\\fonts")
            for merge in ("serial", "typeset"):
                self.assertTrue(any(build_medium.find_child(fonts, merge).iterdir()), merge)
        total = sum(p.stat().st_size for p in self.cd.rglob("*") if p.is_file())
        self.assertLess(total, 5 * 1024 * 1024)

    def test_system_files_carry_their_version_strings(self):
        inst = self.cd / "inst/Win95"
        expected = {"msvcrt20.dll": "2.12.4202", "msvcrt40.dll": "4.20.6164",
                    "ctl3d/ctl3d32.dll": "2.31.000"}
        for name in demo_content.SYSTEM_FILES:
            data = (inst / name).read_bytes()
            self.assertEqual(data[:2], b"MZ", name)
            self.assertIn("040904E4".encode("utf-16-le"), data, name)
            version = file_version_string(data)
            self.assertTrue(version and any(c.isdigit() for c in version), name)
            if name in expected:
                self.assertEqual(version, expected[name])
        ctl3d = (inst / "ctl3d/ctl3d32.dll").read_bytes()
        for entry in (b"Ctl3dRegister\0", b"Ctl3dAutoSubclass\0", b"Ctl3dUnregister\0"):
            self.assertIn(entry, ctl3d)


@unittest.skipIf(shutil.which("i686-w64-mingw32-gcc-posix") is None, "mingw-w64 not installed")
class VersionedFiles(MediumTestCase):
    def test_any_version_string_is_carried(self):
        for kind, version in (("dll", "2.11.4400"), ("exe", "1, 0, 0, 1"), ("ctl3d-refuse", "2.2.4202")):
            out = self.tmp / kind / "file.bin"
            subprocess.run(["sh", str(HERE / "make_versioned.sh"), kind, version, str(out)],
                           check=True)
            self.assertEqual(file_version_string(out.read_bytes()), version)

    def test_unusable_version_string_is_refused(self):
        out = self.tmp / "bad.dll"
        result = subprocess.run(["sh", str(HERE / "make_versioned.sh"), "dll", '1."2', str(out)],
                                stderr=subprocess.PIPE)
        self.assertNotEqual(result.returncode, 0)
        self.assertFalse(out.exists())


if __name__ == "__main__":
    unittest.main()
