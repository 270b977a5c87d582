# Links plavo with the GUI toolkit, the X, font and image libraries it uses and the C++
# runtime statically (Linux only; -DPLAVO_STATIC_TOOLKIT=OFF gives back the shared link).
# Mapping and relocating the toolkit's 38 shared libraries took most of a short run; the
# static program needs only libc and libm. Only the program is linked this way: the tests
# keep the shared libraries, which link faster.
#
# The archives, in link order (each after the ones that use it). A fresh Debian 12 has all of
# them once libfox-1.6-dev is installed (its dependencies bring the -dev packages). The
# toolkit's GL, GLU and TIFF code is never reached from plavo, so with --as-needed those
# libraries drop out of the link. Licences: see the README.
set(plavo_static_archives
    FOX-1.6                             # the toolkit
    Xft Xcursor Xrender Xfixes Xext X11 # X client libraries
    xcb Xau Xdmcp                       # X protocol and authorization
    fontconfig expat freetype brotlidec brotlicommon  # fonts
    jpeg png16 z)                       # images and compression

set(plavo_static_paths)
foreach(archive IN LISTS plavo_static_archives)
  find_library(PLAVO_STATIC_LIB_${archive} NAMES lib${archive}.a REQUIRED)
  list(APPEND plavo_static_paths ${PLAVO_STATIC_LIB_${archive}})
endforeach()

# The toolkit's link is chosen per consumer: a target with the property PLAVO_STATIC_TOOLKIT
# gets the archives, every other one the shared library as before.
get_target_property(plavo_fox_shared PkgConfig::FOX INTERFACE_LINK_LIBRARIES)
set_property(TARGET PkgConfig::FOX PROPERTY INTERFACE_LINK_LIBRARIES
  "$<IF:$<BOOL:$<TARGET_PROPERTY:PLAVO_STATIC_TOOLKIT>>,${plavo_static_paths},${plavo_fox_shared}>")

set_target_properties(plavo PROPERTIES PLAVO_STATIC_TOOLKIT ON)
# --as-needed drops the shared zlib and libpng that the core library also names: the
# archives above have already resolved them.
target_link_options(plavo PRIVATE -static-libstdc++ -static-libgcc LINKER:--as-needed)
