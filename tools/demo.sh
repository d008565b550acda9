#!/bin/bash
# The demo: installs what is missing, builds, lays out the demo CD and starts
# setup.exe from drive D: in a Wine prefix of its own (never ~/.wine).
#
#   tools/demo.sh              on $DISPLAY (a private Xvfb when there is none)
#   tools/demo.sh --headless   drives English, German and French runs, screenshots
#                              of every page and a contact sheet of them all in
#                              build/demo/screenshots/
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/demo"
mode=()
case "${1:-}" in
    --headless) mode=(--headless) ;;
    "") ;;
    *) echo "usage: $0 [--headless]" >&2; exit 2 ;;
esac

bash "$root/tools/install-deps.sh"
source "$root/tools/wine-arch.sh"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$quillon_toolchain" >/dev/null
cmake --build "$build" -j2
bash "$root/tools/medium/make_demo_medium.sh" "$build" "$build/medium"
rm -rf "$build/screenshots"
PYTHONDONTWRITEBYTECODE=1 python3 "$root/tests/e2e/demo_run.py" --build "$build" --medium "$build/medium" --out "$build" "${mode[@]}"
if [ ${#mode[@]} -gt 0 ]; then
    python3 "$root/tools/contact_sheet.py" --screenshots "$build/screenshots"
fi
