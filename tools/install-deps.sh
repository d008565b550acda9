#!/bin/bash
# Installs what building and testing needs on a fresh Debian machine.
# Safe to run repeatedly: it only installs what is missing.
#   --bench   also what tools/bench needs: the peer installer's compiler (nsis)
set -euo pipefail

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

pkgs=(cmake make g++-mingw-w64-i686 binutils-mingw-w64-i686
      g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 googletest
      wine wine32:i386 xvfb x11-utils imagemagick python3 xauth
      python3-pil fonts-liberation fonts-dejavu-core)
[ "${1:-}" = "--bench" ] && pkgs+=(nsis)
for p in "${pkgs[@]}"; do have "$p" || need+=("$p"); done
[ ${#need[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${need[@]}"
