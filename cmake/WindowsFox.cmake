# FOX 1.6 for a MinGW-w64 build: the static library that scripts/build-fox-windows.sh puts
# into PLAVO_FOX_PREFIX (found through the toolchain's CMAKE_FIND_ROOT_PATH), offered under
# the same target name as the Linux build's pkg-config module.
# Static archives only (zlib also ships an import library): the program must start without
# DLLs of ours beside it.
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
set(ZLIB_USE_STATIC_LIBS ON)

find_path(PLAVO_FOX_INCLUDE fx.h PATH_SUFFIXES include/fox-1.6 fox-1.6 REQUIRED)
find_library(PLAVO_FOX_LIBRARY NAMES FOX-1.6 REQUIRED)
find_library(PLAVO_JPEG_LIBRARY NAMES jpeg REQUIRED)

add_library(PkgConfig::FOX INTERFACE IMPORTED)
set_target_properties(PkgConfig::FOX PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES "${PLAVO_FOX_INCLUDE}"
  # FOX's headers choose their Windows layout (window handles as pointers, the Win32 members
  # of FXApp and FXWindow) on WIN32 alone, which the compiler leaves undefined in strict
  # C++17; without it the program would compile against the X11 layout of the same classes.
  INTERFACE_COMPILE_DEFINITIONS "WIN32"
  # FOX's own Windows imports follow it (order matters for static archives).
  INTERFACE_LINK_LIBRARIES
    "${PLAVO_FOX_LIBRARY};PNG::PNG;${PLAVO_JPEG_LIBRARY};ZLIB::ZLIB;comctl32;wsock32;winspool;mpr;gdi32;imm32;comdlg32;shell32;ole32;uuid")
