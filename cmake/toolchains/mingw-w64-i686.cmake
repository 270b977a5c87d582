# 32-bit Windows with MinGW-w64, the program's native target: cmake --preset win32.
set(PLAVO_MINGW_TRIPLET i686-w64-mingw32)
set(PLAVO_WINE_NAMES wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
