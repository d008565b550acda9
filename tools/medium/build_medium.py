#!/usr/bin/env python3
"""Lays out a Quillon CD tree and writes its size catalogues; checks a CD tree.

  build_medium.py layout --staging DIR --out CD [--setup setup.exe] [--replace]
  build_medium.py check --cd CD

The staging tree has the shape of the CD without the setup program and without
the catalogues:

  DIR/quillon/<language>/...              readme.wri, default.qlx, help, samples\\...
  DIR/quillon/<language>/<platform>/...   main files, modules, drivers, special
  DIR/inst/<platform>/...                 shared libraries, ctl3d\\ctl3d32.dll

Every platform tree of the CD gets the manifest of the whole medium, a main
file that setup copies with the others and the uninstaller reads: the path
each file of every language and platform tree lands on at the destination,
with its size and CRC-32.

Names are matched without regard to case, as the CD's file system does; two
names in one directory that differ only in case are refused. Every catalogue
is computed from the files as they lie in the finished CD tree, by the rules
the setup program's copy follows.
"""
import argparse
import os
import shutil
import struct
import sys
import zlib
from pathlib import Path

# Language index order of the setup program; the catalogue uses these names.
LANGUAGES = ("USA", "FRA", "FRG", "HOL", "ITA", "POL", "CZE")

# Platform tree name and catalogue suffix, by platform index.
PLATFORMS = (
    ("Win95", "_W95."),
    ("Pentium", "_PENT."),
    ("Mips", "_MIPS."),
    ("Alpha", "_ALPH."),
    ("Power", "_POWR."),
)

LANGUAGE_TREE = 1
PLATFORM_TREE = 2

# Component rows in catalogue order: which tree holds the source, and where.
COMPONENTS = (
    (PLATFORM_TREE, "modules"),
    (PLATFORM_TREE, "drivers"),
    (LANGUAGE_TREE, "samples\\rasters"),
    (LANGUAGE_TREE, "samples\\document"),
    (LANGUAGE_TREE, "samples\\fonts"),
    (LANGUAGE_TREE, "help"),
    (LANGUAGE_TREE, "samples\\vector"),
    (LANGUAGE_TREE, "samples\\colors"),
    (LANGUAGE_TREE, "samples\\curves"),
    (LANGUAGE_TREE, "samples\\dicts"),
    (LANGUAGE_TREE, "samples\\texts"),
    (LANGUAGE_TREE, "samples\\bitmaps"),
    (LANGUAGE_TREE, "samples\\layouts"),
    (LANGUAGE_TREE, "samples\\macros"),
    (LANGUAGE_TREE, "samples\\pages"),
    (LANGUAGE_TREE, "samples\\styles"),
    (PLATFORM_TREE, "special"),
    (LANGUAGE_TREE, "samples\\clipart"),
)

ENTRIES = 1 + len(COMPONENTS)
CATALOGUE_FORMAT = "<%dI" % ENTRIES
CATALOGUE_SIZE = struct.calcsize(CATALOGUE_FORMAT)
ENTRY_LIMIT = 0xFFFFFFFF

# Sub-directories whose files the copy puts into the directory above.
MERGE_DIRS = {"serial", "typeset"}

# Destination names of the component rows, by language tree: the names the
# setup program's string tables give them (German has its own, the other
# languages use the English ones).
ENGLISH_NAMES = ("modules", "drivers", "rasters", "document", "fonts", "help", "vector",
                 "colors", "curves", "dicts", "texts", "bitmaps", "layouts", "macros", "pages",
                 "styles", "special", "clipart")
DESTINATION_NAMES = {
    "FRG": ("module", "treiber", "raster", "dokument", "fonts", "hilfe", "vektor", "farben",
            "kennlin", "lexika", "texte", "bilder", "layouts", "makros", "seiten", "stile",
            "spezial", "clipart"),
}

# The manifest: a main file of every platform tree. One line per file,
# fields separated by '|' (a character no file name may hold):
#   F|language|platform|path|size|crc   a file below the destination
#   S|...                               the settings file: the product's own whatever it holds
#   T|language||default.qlx|size|crc    the template for new documents (ShellNew)
# platform is empty for a file of the language tree. path is where the file
# lands below the destination, lower case, "\\" between levels.
MANIFEST_NAME = "uinstall.lst"
MANIFEST_HEADER = "QMF|1"
SETTINGS_NAME = "quillon.qpr"

# Top-level names a laid-out medium consists of; --replace removes nothing else.
MEDIUM_TOP = {"quillon", "inst", "setup.exe"}


class MediumError(Exception):
    pass


def entry_label(k):
    return "main files" if k == 0 else COMPONENTS[k - 1][1]


def find_child(directory, name):
    """The entry of `directory` named `name` in any case, or None."""
    if not directory.is_dir():
        return None
    hits = [e for e in directory.iterdir() if e.name.lower() == name.lower()]
    if len(hits) > 1:
        raise MediumError("%s holds %s: names that differ only in case"
                          % (directory, ", ".join(sorted(e.name for e in hits))))
    return hits[0] if hits else None


def resolve(base, relative):
    path = base
    for part in relative.split("\\"):
        path = find_child(path, part)
        if path is None:
            return None
    return path


def checked_sum(sizes, what):
    total = sum(sizes)
    if total > ENTRY_LIMIT:
        raise MediumError("%s holds %d bytes, more than a catalogue entry can count"
                          % (what, total))
    return total


def landed_files(directory):
    """{path below the component's destination (lower-case parts): source}
    of every file below `directory`: merge directories are emptied into their
    parent, any other sub-directory is copied as it is.

    A file of a merge directory may land on the name of another file; the
    second copy would replace the first and the disk would hold fewer bytes
    than stated, so that is refused."""
    landed = {}
    if directory is None or not directory.is_dir():
        return landed
    dir_targets = set()
    for root, _dirs, files in os.walk(directory):
        rel = Path(root).relative_to(directory).parts
        target = tuple(p.lower() for p in rel if p.lower() not in MERGE_DIRS)
        dir_targets.update(target[:k] for k in range(1, len(target) + 1))
        for name in files:
            source = os.path.join(root, name)
            other = landed.setdefault(target + (name.lower(),), source)
            if other != source:
                raise MediumError("%s and %s would be copied to the same file" % (other, source))
    for path, source in landed.items():
        if path in dir_targets:
            raise MediumError("%s would be copied where the copy makes a directory" % source)
    return landed


def tree_bytes(directory):
    """Bytes of every file below `directory`: merge directories and any other
    sub-directory are copied into the component, so all of them count."""
    return checked_sum((os.path.getsize(s) for s in landed_files(directory).values()), directory)


def main_files(platform_dir):
    """The main files are copied without sub-directories."""
    return sorted((e for e in platform_dir.iterdir() if e.is_file()), key=lambda e: e.name.lower())


def main_files_bytes(platform_dir):
    return checked_sum((e.stat().st_size for e in main_files(platform_dir)), platform_dir)


def catalogue_entries(language_dir, platform_dir):
    entries = [main_files_bytes(platform_dir)]
    for tree, src_name in COMPONENTS:
        base = language_dir if tree == LANGUAGE_TREE else platform_dir
        entries.append(tree_bytes(resolve(base, src_name)))
    return entries


def pack_catalogue(entries):
    return struct.pack(CATALOGUE_FORMAT, *entries)


def catalogue_name(language, suffix):
    return language + suffix + "QTB"


def file_line(kind, language, platform, path, source):
    if "|" in path or any(ord(c) < 32 for c in path):
        raise MediumError("%s: a name the manifest cannot hold" % source)
    with open(source, "rb") as f:
        data = f.read()
    return "%s|%s|%s|%s|%d|%08x" % (kind, language, platform, path, len(data),
                                     zlib.crc32(data) & 0xFFFFFFFF)


def manifest_text(cd):
    """The manifest of the CD tree `cd`: every file the copy can put below a
    destination, from every language and platform tree, and the template."""
    lines = [MANIFEST_HEADER]
    by_language = {}
    for _name, language_dir, platform_dir in product_trees(cd):
        by_language.setdefault(language_dir, []).append(platform_dir)
    for language_dir, platform_dirs in by_language.items():
        language = next(l for l in LANGUAGES if l.lower() == language_dir.name.lower())
        platform_names = {p.lower(): p for p, _suffix in PLATFORMS}
        names = DESTINATION_NAMES.get(language, ENGLISH_NAMES)
        for name in ("readme.wri", "default.qlx"):
            source = find_child(language_dir, name)
            if source is not None and source.is_file():
                lines.append(file_line("T" if name == "default.qlx" else "F", language, "",
                                       name, source))
        for platform_dir in platform_dirs:
            platform = platform_names[platform_dir.name.lower()]
            for entry in main_files(platform_dir):
                name = entry.name.lower()
                if name != MANIFEST_NAME:
                    lines.append(file_line("S" if name == SETTINGS_NAME else "F", language,
                                           platform, name, entry))
        for row, (tree, src_name) in enumerate(COMPONENTS):
            bases = platform_dirs if tree == PLATFORM_TREE else [language_dir]
            for base in bases:
                platform = platform_names[base.name.lower()] if tree == PLATFORM_TREE else ""
                landed = landed_files(resolve(base, src_name))
                for target in sorted(landed):
                    path = "\\".join((names[row],) + target)
                    lines.append(file_line("F", language, platform, path, landed[target]))
    try:
        return "".join(line + "\r\n" for line in lines).encode("cp1252")
    except UnicodeEncodeError as err:
        raise MediumError("a file name outside the ANSI code page: %s" % err)


def platform_dirs_of(cd):
    return [platform_dir for _name, _language_dir, platform_dir in product_trees(cd)]


def product_trees(cd):
    """(catalogue name, language tree, platform tree) for every platform tree
    of every language tree present below cd/quillon."""
    product = find_child(cd, "quillon")
    if product is None or not product.is_dir():
        raise MediumError("%s has no product tree 'quillon'" % cd)
    trees = []
    for language in LANGUAGES:
        language_dir = find_child(product, language)
        if language_dir is None or not language_dir.is_dir():
            continue
        for platform, suffix in PLATFORMS:
            platform_dir = find_child(language_dir, platform)
            if platform_dir is not None and platform_dir.is_dir():
                trees.append((catalogue_name(language, suffix), language_dir, platform_dir))
    if not trees:
        raise MediumError("%s holds no language tree with a platform tree" % product)
    return trees


def refuse_case_collisions(top):
    for root, dirs, files in os.walk(top):
        seen = {}
        for name in dirs + files:
            other = seen.setdefault(name.lower(), name)
            if other != name:
                raise MediumError("%s holds %s and %s: names that differ only in case"
                                  % (root, other, name))


def prepare_out(out, replace):
    if not out.exists():
        return
    if not out.is_dir():
        raise MediumError("%s exists and is not a directory" % out)
    names = [e.name for e in out.iterdir()]
    if not names:
        return
    if not replace:
        raise MediumError("%s is not empty (use --replace to rebuild a medium there)" % out)
    foreign = [n for n in names if n.lower() not in MEDIUM_TOP]
    if foreign:
        raise MediumError("%s does not look like a medium (it holds %s); not replacing it"
                          % (out, ", ".join(sorted(foreign))))
    for entry in out.iterdir():
        if entry.is_dir() and not entry.is_symlink():
            shutil.rmtree(entry)
        else:
            entry.unlink()


def layout(staging, out, setup=None, replace=False):
    """Builds the CD tree in `out`; returns {catalogue name: entries}."""
    staging, out = Path(staging), Path(out)
    if not staging.is_dir():
        raise MediumError("staging tree %s does not exist" % staging)
    if setup is not None and not Path(setup).is_file():
        raise MediumError("setup program %s does not exist" % setup)
    refuse_case_collisions(staging)
    # Every refusal happens before anything is written to `out`.
    for _name, language_dir, platform_dir in product_trees(staging):
        catalogue_entries(language_dir, platform_dir)
    inst = find_child(staging, "inst")
    if inst is not None and find_child(inst, "inst") is not None:
        raise MediumError("%s already holds catalogues; they are written here, not staged"
                          % find_child(inst, "inst"))
    if setup is not None and find_child(staging, "setup.exe") is not None:
        raise MediumError("%s holds a setup.exe and --setup names another" % staging)

    prepare_out(out, replace)
    out.mkdir(parents=True, exist_ok=True)
    for entry in staging.iterdir():
        if entry.is_dir():
            shutil.copytree(entry, out / entry.name)
        else:
            shutil.copyfile(entry, out / entry.name)
    if setup is not None:
        shutil.copyfile(setup, out / "setup.exe")

    # The manifest lists every file but itself; the catalogues count it as a main file.
    manifest = manifest_text(out)
    for platform_dir in platform_dirs_of(out):
        stale = find_child(platform_dir, MANIFEST_NAME)
        if stale is not None:
            stale.unlink()
        (platform_dir / MANIFEST_NAME).write_bytes(manifest)
    catalogues = {name: catalogue_entries(ldir, pdir) for name, ldir, pdir in product_trees(out)}
    target = (find_child(out, "inst") or out / "inst") / "inst"
    target.mkdir(parents=True, exist_ok=True)
    for name, entries in catalogues.items():
        (target / name).write_bytes(pack_catalogue(entries))
    return catalogues


def check(cd):
    """Problems found with the catalogues of the CD tree `cd`, one text each."""
    cd = Path(cd)
    problems = []
    inst = find_child(cd, "inst")
    catalogue_dir = find_child(inst, "inst") if inst is not None else None
    expected = set()
    for name, language_dir, platform_dir in product_trees(cd):
        expected.add(name.lower())
        entries = catalogue_entries(language_dir, platform_dir)
        path = find_child(catalogue_dir, name) if catalogue_dir is not None else None
        if path is None:
            problems.append("%s: missing (the files hold %d bytes in all)" % (name, sum(entries)))
            continue
        data = path.read_bytes()
        if len(data) != CATALOGUE_SIZE:
            problems.append("%s: %d bytes long, not %d" % (name, len(data), CATALOGUE_SIZE))
            continue
        for k, (stated, actual) in enumerate(zip(struct.unpack(CATALOGUE_FORMAT, data), entries)):
            if stated != actual:
                problems.append("%s: entry %d (%s) states %d bytes, the files hold %d"
                                % (name, k, entry_label(k), stated, actual))
    # Every platform tree holds the same manifest: one line for all that are out of step.
    manifest = manifest_text(cd)
    missing, stale = [], []
    for platform_dir in platform_dirs_of(cd):
        path = find_child(platform_dir, MANIFEST_NAME)
        where = "%s/%s" % (platform_dir.parent.name, platform_dir.name)
        if path is None:
            missing.append(where)
        elif path.read_bytes() != manifest:
            stale.append(where)
    if missing:
        problems.append("%s: missing in %s" % (MANIFEST_NAME, ", ".join(missing)))
    if stale:
        problems.append("%s in %s: does not list the files as they are"
                        % (MANIFEST_NAME, ", ".join(stale)))
    if catalogue_dir is not None:
        for entry in sorted(catalogue_dir.iterdir()):
            if entry.name.lower().endswith(".qtb") and entry.name.lower() not in expected:
                problems.append("%s: no product tree for this catalogue" % entry.name)
    return problems


def main(argv=None):
    parser = argparse.ArgumentParser(prog="build_medium.py", description=__doc__.split("\n")[0])
    commands = parser.add_subparsers(dest="command", required=True)
    p_layout = commands.add_parser("layout", help="lay out a CD tree and write its catalogues")
    p_layout.add_argument("--staging", required=True)
    p_layout.add_argument("--out", required=True)
    p_layout.add_argument("--setup", help="the setup program to put at the CD's root")
    p_layout.add_argument("--replace", action="store_true",
                          help="rebuild over a medium laid out there before")
    p_check = commands.add_parser("check", help="report catalogues that do not match their files")
    p_check.add_argument("--cd", required=True)
    args = parser.parse_args(argv)

    try:
        if args.command == "layout":
            catalogues = layout(args.staging, args.out, args.setup, args.replace)
            for name, entries in sorted(catalogues.items()):
                print("%s: %d bytes in all" % (name, sum(entries)))
            return 0
        problems = check(args.cd)
    except (MediumError, OSError) as err:
        print("build_medium.py: error: %s" % err, file=sys.stderr)
        return 2
    for problem in problems:
        print(problem)
    if problems:
        print("%d catalogue problem(s) in %s" % (len(problems), args.cd))
        return 1
    print("all catalogues of %s match their files" % args.cd)
    return 0


if __name__ == "__main__":
    sys.exit(main())
