# Sourced by the test and demo commands: how this machine runs the Windows
# programs of a build.
#
# Where the kernel runs 32-bit code, the build is the shipped 32-bit one under
# Wine's i386 loader. Some hosts run 64-bit user code only (the kernel says
# "IA-32 emulation off" and every i386 exec fails with ENOEXEC); there the same
# sources are built as 64-bit programs and run under wine64 in a win64 prefix,
# and the 32-bit setup.exe is still built, but cannot be started.
#
# Sets QUILLON_WINEARCH (win32 or win64, kept when already set), the toolchain
# file in quillon_toolchain, and for win64 puts tools/wine64 first on PATH.
quillon_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
if [ -z "${QUILLON_WINEARCH:-}" ]; then
    if /usr/lib/wine/wine --version >/dev/null 2>&1; then
        QUILLON_WINEARCH=win32
    else
        QUILLON_WINEARCH=win64
    fi
fi
export QUILLON_WINEARCH
if [ "$QUILLON_WINEARCH" = win64 ]; then
    quillon_toolchain="$quillon_root/cmake/mingw64.cmake"
    export PATH="$quillon_root/tools/wine64:$PATH"
    echo "This machine runs no 32-bit programs: testing a 64-bit build of the same sources under wine64." >&2
else
    quillon_toolchain="$quillon_root/cmake/mingw32.cmake"
fi
