# Shared part of the MinGW-w64 toolchain files; PLAVO_MINGW_TRIPLET is set by the includer.
#
# The posix thread-model compilers: the default win32 model has no std::mutex or
# std::recursive_mutex, which the library's file and lock classes use.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${PLAVO_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PLAVO_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${PLAVO_MINGW_TRIPLET}-windres)

# FOX and the picture libraries are built into PLAVO_FOX_PREFIX by scripts/build-fox-windows.sh.
set(PLAVO_FOX_PREFIX "" CACHE PATH "Prefix of FOX 1.6 built for this target")
set(CMAKE_FIND_ROOT_PATH ${PLAVO_FOX_PREFIX} /usr/${PLAVO_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# One self-contained program: the C and C++ runtimes and winpthread linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests and the program run under Wine, in a private prefix of the build folder (created by
# scripts/test-windows.sh) so that the registry the tests write never touches the user's.
# Wine's own mono and gecko installers are kept out: they would ask in a window.
# With Debian's wine32 installed beside wine64, the "wine" wrapper takes the 32-bit loader,
# which cannot run a 64-bit program in a 64-bit prefix: each target names its own loader.
find_program(PLAVO_WINE NAMES ${PLAVO_WINE_NAMES} PATHS /usr/lib/wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR env WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINEDEBUG=-all
    WINEDLLOVERRIDES=mscoree,mshtml= ${PLAVO_WINE})
