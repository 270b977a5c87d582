# Sourced by the Windows scripts: `wine_env PRESET` points Wine at the build's private prefix
# (build-PRESET/wineprefix), keeps its mono and gecko installers (which ask in a window) and
# its log out, and sets WINE to the loader for the target: the 64-bit loader for win64, since
# with wine32 installed the "wine" wrapper takes the 32-bit one.
wine_env() {
  export WINEPREFIX=$PWD/build-$1/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
  WINE=wine
  if [ "$1" = win64 ] && [ -x /usr/lib/wine/wine64 ]; then WINE=/usr/lib/wine/wine64; fi
  # The 32-bit program gets a plain 32-bit prefix (made by the first start).
  if [ "$1" = win32 ]; then export WINEARCH=win32; else unset WINEARCH; fi
  export WINE
}
