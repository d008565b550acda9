#!/bin/bash
# Installs what building and testing needs on a fresh Debian machine.
# Safe to run repeatedly: it only installs what is missing.
#   --bench   also what tools/bench needs: the peer installer's compiler (nsis)
#
# Which Wine: the 64-bit loader (wine64) always, because tools/wine-arch.sh
# falls back to it; the 32-bit one (wine32:i386, what runs the shipped
# setup.exe) only where the kernel runs 32-bit code. QUILLON_WINEARCH=win64
# asks for the 64-bit path alone, win32 insists on the 32-bit one.
#
# A package index that fails to download (a mirror in sync, a dead extra
# source) is retried, then left out: what the other indexes offer is
# installed. Where the failed index is one the installed libraries came from,
# the 32-bit ones of the same versions cannot be had; its suite is then
# pinned below the rest for this install only, through a preference file of
# this script's own that is removed when it ends. When the 32-bit Wine still
# cannot be installed, it says why in one line and the tests take the 64-bit
# path.
set -euo pipefail

have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

# Whether this kernel starts a 32-bit program: a minimal i386 ELF that exits
# with status 0 (mov eax,1; xor ebx,ebx; int 0x80). Some hosts run 64-bit
# user code only and refuse it with "Exec format error".
runs_i386() {
    local probe status
    probe=$(mktemp)
    printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'  >"$probe"
    printf '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' >>"$probe"
    printf '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00' >>"$probe"
    printf '\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08' >>"$probe"
    printf '\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00' >>"$probe"
    printf '\x00\x10\x00\x00\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' >>"$probe"
    chmod +x "$probe"
    status=0
    "$probe" 2>/dev/null || status=$?
    rm -f "$probe"
    [ "$status" -eq 0 ]
}

want32=0
case "${QUILLON_WINEARCH:-}" in
    win64) ;;
    win32) want32=1 ;;
    *) runs_i386 && want32=1 ;;
esac

pkgs=(cmake make g++-mingw-w64-i686 binutils-mingw-w64-i686
      g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 googletest
      wine wine64 xvfb x11-utils imagemagick python3 xauth
      python3-pil fonts-liberation fonts-dejavu-core)
[ "${1:-}" = "--bench" ] && pkgs+=(nsis)
need=()
for p in "${pkgs[@]}"; do have "$p" || need+=("$p"); done
need32=0
[ "$want32" -eq 1 ] && ! have wine32:i386 && need32=1
[ ${#need[@]} -eq 0 ] && [ "$need32" -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
if [ "$need32" -eq 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
fi

pref=/etc/apt/preferences.d/quillon-install-deps.pref
cleanup() { $SUDO rm -f "$pref"; }
trap cleanup EXIT

# The update, up to three times while some index fails; then on with what came.
# An index that cannot be fetched is a "Failed to fetch" line; a source whose
# suite does not exist at all ends the update with an error of its own.
failed="" errors=""
for attempt in 1 2 3; do
    log=$(mktemp)
    status=0
    $SUDO apt-get update -qq -o Acquire::Retries=3 >"$log" 2>&1 || status=$?
    failed=$(grep -E '^(E|W): Failed to fetch' "$log" | sed -E 's/^.: Failed to fetch ([^ ]+).*/\1/' | sort -u || true)
    errors=$(grep -E '^E: ' "$log" | grep -v -E 'Failed to fetch|Some index files failed' || true)
    [ "$status" -ne 0 ] && [ -z "$failed$errors" ] && errors="apt-get update ended with status $status"
    rm -f "$log"
    [ -z "$failed$errors" ] && break
    [ "$attempt" -lt 3 ] && sleep $((attempt * 5))
done
suites=""
if [ -n "$failed$errors" ]; then
    echo "install-deps: some package indexes could not be had (3 tries); installing from the others:"
    [ -n "$failed" ] && printf '    %s\n' $failed
    [ -n "$errors" ] && printf '%s\n' "$errors" | sed 's/^/    /'
    # The suite of each failed index (".../dists/SUITE/...").
    suites=$(printf '%s\n' $failed | sed -n -E 's#.*/dists/([^/]+)/.*#\1#p' | sort -u)
fi

install() { $SUDO apt-get install -y -qq --no-install-recommends "$@"; }

[ ${#need[@]} -gt 0 ] && install "${need[@]}"

if [ "$need32" -eq 1 ]; then
    if ! install wine32:i386 >/tmp/quillon-wine32.log 2>&1 && [ -n "$suites" ]; then
        # The 32-bit libraries must be of the installed 64-bit ones' versions;
        # with their suite's i386 index missing, take both from the others.
        { echo "# Written by Quillon's tools/install-deps.sh for one install; it removes it when it ends."
          for s in $suites; do
              printf 'Package: *\nPin: release n=%s\nPin-Priority: 100\n\n' "$s"
          done; } | $SUDO tee "$pref" >/dev/null
        install wine32:i386 >>/tmp/quillon-wine32.log 2>&1 || true
        cleanup
    fi
    if have wine32:i386; then
        rm -f /tmp/quillon-wine32.log
    else
        reason=$(grep -E '^E:' /tmp/quillon-wine32.log | head -n 1 || true)
        echo "install-deps: the 32-bit Wine (wine32:i386) could not be installed (${reason:-see /tmp/quillon-wine32.log}); the tests and the demo run the 64-bit build under wine64."
    fi
fi
exit 0
