#!/bin/bash
# The test command: installs what is missing, builds in build/test, lays out
# the demo CD, and runs every unit and end-to-end test through ctest.
# Exits non-zero when anything fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/test"

bash "$root/tools/install-deps.sh"
source "$root/tools/wine-arch.sh"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$quillon_toolchain"
cmake --build "$build" -j2
if [ "$QUILLON_WINEARCH" = win64 ]; then
    # What ships are the 32-bit programs: they must still build, warnings as errors.
    cmake -S "$root" -B "$root/build/ship" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw32.cmake" \
        -DBUILD_TESTING=OFF >/dev/null
    cmake --build "$root/build/ship" -j2 --target setup --target uninstall
fi
bash "$root/tools/medium/make_demo_medium.sh" "$build" "$build/e2e/medium"
QUILLON_BUILD_DIR="$build" PYTHONDONTWRITEBYTECODE=1 python3 "$root/tests/e2e/harness.py" template

# The unit tests run under Wine too: a prefix of their own, never ~/.wine,
# and a display of their own for the tests that create windows. Z: stays: the
# test program runs from the build directory and copies itself.
export WINEPREFIX="$build/wine-unit" WINEARCH=$QUILLON_WINEARCH WINEDEBUG=-all LC_ALL=C.UTF-8
if [ ! -d "$WINEPREFIX/dosdevices" ]; then
    DISPLAY= wineboot -i >/dev/null 2>&1
    wineserver -w
    find "$WINEPREFIX/drive_c" -type l -xtype d -exec sh -c 'rm "$1" && mkdir "$1"' _ {} \;
fi
displayfile=$(mktemp)
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>"$displayfile" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$displayfile" ] && break; sleep 0.1; done
export DISPLAY=":$(head -1 "$displayfile")"
rm -f "$displayfile"
trap 'kill "$xvfb_pid" 2>/dev/null || true; WINEPREFIX="$build/wine-unit" wineserver -k 2>/dev/null || true' EXIT

set +e
(cd "$build" && ctest --output-on-failure) 2>&1 | tee "$build/ctest.log"
status=${PIPESTATUS[0]}
set -e
echo
grep -E "tests passed|tests failed" "$build/ctest.log" | tail -1 || true

# The README's first command on a machine without a screen: it must end by
# itself (the walk's own limit, and a harder one around it) with a contact
# sheet, a copy page held in every language, and no failure picture.
demo_log="$build/demo-check.log"
rm -rf "$build/screenshots"
if env -u WINEPREFIX DISPLAY= QUILLON_DEMO_BUILD="$build" QUILLON_DEMO_LIMIT=1200 \
        timeout --kill-after=30 1500 bash "$root/tools/demo.sh" >"$demo_log" 2>&1 &&
        [ -s "$build/screenshots/contact_sheet.png" ] &&
        ! grep -q "copy page was gone" "$demo_log" &&
        ! ls "$build/screenshots"/failure-*.png >/dev/null 2>&1; then
    echo "demo without a display: ended with its contact sheet"
else
    echo "demo without a display: FAILED (see $demo_log)"
    status=1
fi
exit "$status"
