#!/usr/bin/env bash
# Builds the Windows programs with MinGW-w64: build-win32/bin/plavo.exe (32-bit, the native
# target) and build-win64/bin/plavo.exe, with their tests. Installs what is missing and builds
# FOX for each target first (kept in build-win*/fox; a rerun reuses it).
# Usage: scripts/build-windows.sh [win32] [win64]      (both when none is named)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix \
  libz-mingw-w64-dev googletest wine wine64 xauth dpkg-dev
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(win32 win64)
# The 32-bit program runs under Debian's wine32, an i386 package: dpkg needs that architecture.
if [[ " ${presets[*]} " == *" win32 "* ]] &&
   ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
  echo "Installing: wine32:i386"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo dpkg --add-architecture i386
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null
fi
for preset in "${presets[@]}"; do
  case $preset in
    win32) triplet=i686-w64-mingw32 ;;
    win64) triplet=x86_64-w64-mingw32 ;;
    *) echo "Unknown target $preset (win32 or win64)" >&2; exit 2 ;;
  esac
  echo "== $preset: FOX"
  scripts/build-fox-windows.sh "$triplet" "build-$preset/fox"
  echo "== $preset: plavo"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$(nproc)"
done
