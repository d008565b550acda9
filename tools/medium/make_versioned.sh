#!/bin/sh
# Builds one small PE file carrying a version resource whose FileVersion string
# is given here, for the demo medium and for tests of the version comparison.
#
#   make_versioned.sh <kind> <FileVersion> <out-path>
#
# kind: dll           plain library (DllMain only)
#       exe           plain GUI program that exits at once
#       ctl3d         3-D control library with Ctl3dRegister/AutoSubclass/Unregister
#       ctl3d-refuse  the same, but Ctl3dAutoSubclass answers FALSE
#
# CC and WINDRES may name the cross tools; the defaults are mingw-w64's i686 ones.
set -eu

usage() { echo "usage: $0 <dll|exe|ctl3d|ctl3d-refuse> <FileVersion> <out-path>" >&2; exit 2; }
[ $# -eq 3 ] || usage
kind=$1 version=$2 out=$3

here=$(cd "$(dirname "$0")" && pwd)
src=$here/content
CC=${CC:-i686-w64-mingw32-gcc-posix}
WINDRES=${WINDRES:-i686-w64-mingw32-windres}

# The string goes verbatim into a resource script string and a sed replacement.
case $version in
    *'"'* | *'\'* | *'|'* | *'&'*) echo "$0: FileVersion may not hold \" \\ | or &" >&2; exit 2 ;;
esac
if [ "$(printf '%s' "$version" | wc -l)" -ne 0 ]; then
    echo "$0: FileVersion must be one line" >&2; exit 2
fi

name=$(basename "$out")
case $name in
    *'|'* | *'&'* | *'"'* | *'\'*) echo "$0: unusable file name: $name" >&2; exit 2 ;;
esac

# The fixed numeric fields are informative only: the first four digit groups,
# each limited to what the field holds.
numver=$(printf '%s\n' "$version" | tr -c '0-9' ' ' | awk '{
    out = ""
    for (i = 1; i <= 4; i++) {
        v = (i <= NF) ? $i + 0 : 0
        if (v > 65535) v = 0
        out = out (i > 1 ? "," : "") v
    }
    print out
}')

# The entry points' symbols: 32-bit names carry the stdcall decoration, 64-bit
# ones none. A wrong name is only a linker warning and leaves the file without
# its entry (a DLL) or starting at the first byte of its code (a program):
# warnings are fatal here, as in every other build of the project.
case $("$CC" -dumpmachine) in
    i?86-*) dll_entry=_DllMain@12 exe_entry=_start@0 ;;
    *)      dll_entry=DllMain exe_entry=start ;;
esac
cflags="-Os -s -Wall -Wextra -Werror -DWIN32_LEAN_AND_MEAN -DSTRICT -Wl,--fatal-warnings"
case $kind in
    dll)          source=sysdll.c filetype=2 desc="Demo shared library"
                  link="-shared -nostdlib -Wl,--entry,$dll_entry" ;;
    exe)          source=sysexe.c filetype=1 desc="Demo helper program"
                  link="-mwindows -nostdlib -Wl,--entry,$exe_entry -lkernel32" ;;
    ctl3d)        source=ctl3d.c filetype=2 desc="Demo 3-D controls"
                  link="-shared -nostdlib -Wl,--entry,$dll_entry -Wl,--kill-at" ;;
    ctl3d-refuse) source=ctl3d.c filetype=2 desc="Demo 3-D controls (no subclassing)"
                  link="-shared -nostdlib -Wl,--entry,$dll_entry -Wl,--kill-at"
                  cflags="$cflags -DCTL3D_REFUSE_SUBCLASS" ;;
    *) usage ;;
esac

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

sed -e "s|@NUMVER@|$numver|g" -e "s|@FILETYPE@|$filetype|g" \
    -e "s|@DESCRIPTION@|$desc|g" -e "s|@FILEVERSION@|$version|g" \
    -e "s|@FILENAME@|$name|g" "$src/version.rc.in" > "$work/version.rc"
"$WINDRES" -O coff -o "$work/version.o" "$work/version.rc"

mkdir -p "$(dirname "$out")"
# shellcheck disable=SC2086
"$CC" $cflags -o "$work/$name" "$src/$source" "$work/version.o" $link
mv "$work/$name" "$out"
