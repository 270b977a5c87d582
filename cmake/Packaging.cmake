# The Debian package: cmake --build build --target package (or cpack in the build directory)
# puts plavo_<version>_<arch>.deb into the build directory. It holds what the install rules
# install, below /usr. Its dependencies are worked out by dpkg-shlibdeps from the libraries
# the installed programs need, so they stay right whichever libraries are linked statically.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME plavo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Kestro, Inc.")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "register the project the current user works on")
set(CPACK_PACKAGE_DESCRIPTION
    "plavo lets users pick one of the projects that the administrator's project map opens \
to them, or sets one from the command line; it puts the project into KESTRO_PROJECT, writes \
the project ID file of the user's session into the installation's log/temp directory and \
can then launch a program that inherits the project. plavo-admin, for the administrator, checks \
the project map, shows what plavo makes of it for each user and lists and prunes the \
registrations.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Plavo developers <plavo@kestro.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)

# Builds the package and uses what it installs. Not in the sanitizer build: a package of
# instrumented programs is nothing anybody installs.
if(PLAVO_TESTS AND NOT PLAVO_SANITIZE)
  add_test(NAME Install.PackageInstallsAndRuns
           COMMAND ${PROJECT_SOURCE_DIR}/tool/tests/install/check-package.sh ${CMAKE_BINARY_DIR})
endif()
