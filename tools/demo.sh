#!/bin/bash
# The demo: installs what is missing, builds, lays out the demo CD and starts
# setup.exe from drive D: in a Wine prefix of its own (never ~/.wine).
#
#   tools/demo.sh              the wizard on $DISPLAY; without a display, the
#                              headless walk below instead
#   tools/demo.sh --headless   drives English, German and French runs, screenshots
#                              of every page and a contact sheet of them all in
#                              build/demo/screenshots/; ends within
#                              $QUILLON_DEMO_LIMIT seconds (default 1500)
#
# QUILLON_DEMO_BUILD names another build directory (default build/demo).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${QUILLON_DEMO_BUILD:-$root/build/demo}")
mode=()
case "${1:-}" in
    --headless) mode=(--headless) ;;
    "") ;;
    *) echo "usage: $0 [--headless]" >&2; exit 2 ;;
esac
if [ ${#mode[@]} -eq 0 ] && [ -z "${DISPLAY:-}" ]; then
    echo "No display here (\$DISPLAY is empty): the wizard would run where nobody sees it."
    echo "Running the headless walk instead: three languages, a screenshot of every page."
    mode=(--headless)
    no_display=1
fi

bash "$root/tools/install-deps.sh"
source "$root/tools/wine-arch.sh"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$quillon_toolchain" >/dev/null
cmake --build "$build" -j2
bash "$root/tools/medium/make_demo_medium.sh" "$build" "$build/medium"
rm -rf "$build/screenshots"
status=0
PYTHONDONTWRITEBYTECODE=1 python3 "$root/tests/e2e/demo_run.py" --build "$build" --medium "$build/medium" \
    --out "$build" "${mode[@]}" || status=$?
if [ "$status" -ne 0 ]; then
    echo "The demo did not finish (exit status $status); Wine's output is in $build/prefix.wine.log." >&2
    exit "$status"
fi
if [ ${#mode[@]} -gt 0 ]; then
    python3 "$root/tools/contact_sheet.py" --screenshots "$build/screenshots"
    echo
    echo "Screenshots:   $build/screenshots/"
    echo "Contact sheet: $build/screenshots/contact_sheet.png"
    if [ -n "${no_display:-}" ]; then
        echo "To click through the wizard yourself, run 'bash tools/demo.sh' in a desktop session"
        echo "(or over 'ssh -X'), so that \$DISPLAY names a screen."
    fi
fi
