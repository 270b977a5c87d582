# Install rules (cmake --install, and the Debian package built from them).
#
# plavo_install_program(<target> MANUAL <page.N> [DESKTOP <entry.desktop> ICON <name>
#                       ICON_FILES <name-SIZE.png>...])
# installs the program into bin/, its manual page compressed into share/man/manN/ (with a
# test that the page's OPTIONS section names every option of <target> --help) and, for a
# program with a window, its desktop entry into share/applications/ and its icon as the
# themed icon <name> of the fallback theme (share/icons/hicolor/SIZExSIZE/apps/<name>.png;
# SIZE is read from the end of each file name).
include(GNUInstallDirs)
set(PLAVO_INSTALL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/plavo)

function(plavo_install_program target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "MANUAL;DESKTOP;ICON" "ICON_FILES")
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

  if(arg_MANUAL)
    # Debian installs manual pages compressed with gzip -9n (-n: no name or time inside, so
    # the package is the same from build to build).
    get_filename_component(page ${arg_MANUAL} NAME)
    string(REGEX REPLACE ".*\\.([1-9])$" "\\1" section ${page})
    set(compressed ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.gz)
    add_custom_command(OUTPUT ${compressed}
      COMMAND ${CMAKE_COMMAND} -E copy ${arg_MANUAL} ${CMAKE_CURRENT_BINARY_DIR}/man/${page}
      COMMAND gzip -9nf ${CMAKE_CURRENT_BINARY_DIR}/man/${page}
      DEPENDS ${arg_MANUAL}
      VERBATIM)
    add_custom_target(${target}_manual ALL DEPENDS ${compressed})
    install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
    if(PLAVO_TESTS)
      add_test(NAME Install.${target}ManualDocumentsEveryOption
               COMMAND ${PROJECT_SOURCE_DIR}/tool/tests/install/check-manual.sh
                       $<TARGET_FILE:${target}> ${arg_MANUAL})
    endif()
  endif()

  if(arg_DESKTOP)
    install(FILES ${arg_DESKTOP} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
  endif()
  foreach(icon IN LISTS arg_ICON_FILES)
    string(REGEX REPLACE ".*-([0-9]+)\\.png$" "\\1" size ${icon})
    install(FILES ${icon}
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/${size}x${size}/apps
            RENAME ${arg_ICON}.png)
  endforeach()
endfunction()
