# 64-bit Windows with MinGW-w64: cmake --preset win64 (see CMakePresets.json).
set(PLAVO_MINGW_TRIPLET x86_64-w64-mingw32)
set(PLAVO_WINE_NAMES wine64 wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
