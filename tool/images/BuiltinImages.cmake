# The built-in pictures: GIFs drawn by scripts/make-images.sh, turned into byte arrays by
# FOX's reswrap (part of libfox-1.6-dev) and compiled into plavo_tool.
find_program(PLAVO_RESWRAP reswrap REQUIRED)
set(plavo_image_files
  ${CMAKE_CURRENT_SOURCE_DIR}/images/i16_kestro.gif
  ${CMAKE_CURRENT_SOURCE_DIR}/images/kestro_header.gif)
set(plavo_image_source ${CMAKE_CURRENT_BINARY_DIR}/BuiltinImageData.cpp)
# -e gives the arrays external linkage, so BuiltinImages.cpp can declare them.
add_custom_command(OUTPUT ${plavo_image_source}
  COMMAND ${PLAVO_RESWRAP} -e -n KestroImages -o ${plavo_image_source} ${plavo_image_files}
  DEPENDS ${plavo_image_files}
  COMMENT "Turning the built-in pictures into byte arrays"
  VERBATIM)
target_sources(plavo_tool PRIVATE ${plavo_image_source})
