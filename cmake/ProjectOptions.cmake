# Warning and sanitizer flags live on interface targets that our own targets link
# PRIVATE, so third-party headers (FOX, gtest) are never compiled with them.
add_library(proj_warnings INTERFACE)
target_compile_options(proj_warnings INTERFACE
  -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Wcast-align -Woverloaded-virtual
  -Wpedantic -Wnull-dereference -Wformat=2 -Wimplicit-fallthrough)
if(PLAVO_WERROR)
  target_compile_options(proj_warnings INTERFACE -Werror)
endif()

add_library(proj_options INTERFACE)
if(PLAVO_SANITIZE AND NOT WIN32)
  target_compile_options(proj_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(proj_options INTERFACE -fsanitize=address,undefined)
endif()
if(PLAVO_COVERAGE AND NOT WIN32)
  # gcov line counts of our own code, read by gcovr (scripts/coverage.sh).
  target_compile_options(proj_options INTERFACE --coverage)
  target_link_options(proj_options INTERFACE --coverage)
endif()
if(MINGW)
  target_link_options(proj_options INTERFACE -static-libgcc -static-libstdc++)
endif()

# plavo_add_tests(<dir> <libs...>): one executable per *Test.cpp in <dir>, registered with CTest.
function(plavo_add_tests dir)
  file(GLOB test_sources CONFIGURE_DEPENDS ${dir}/*Test.cpp)
  if(WIN32)
    # Not built for Windows:
    # - AppFrameTest, PlavoProgramTest: they check texts on standard output and error, which
    #   the Windows program shows in message boxes instead (PlavoWindowsTest reads those boxes
    #   and runs the Windows program end to end).
    list(FILTER test_sources EXCLUDE REGEX "/(AppFrameTest|PlavoProgramTest)\\.cpp$")
  else()
    list(FILTER test_sources EXCLUDE REGEX "/[A-Za-z]*WindowsTest\\.cpp$")
  endif()
  foreach(src IN LISTS test_sources)
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src})
    target_link_libraries(${name} PRIVATE ${ARGN} plavo_test_support GTest::gtest
                          GTest::gtest_main Threads::Threads proj_warnings proj_options)
    # A test program under Wine may take seconds to list its tests while Wine starts. A test
    # that hangs (a reader waiting on a FIFO, a signal ignored) is ended and fails.
    gtest_discover_tests(${name} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR} DISCOVERY_TIMEOUT 120
                         PROPERTIES ENVIRONMENT "PLAVO_SOURCE_DIR=${PROJECT_SOURCE_DIR}"
                                    TIMEOUT 120)
  endforeach()
endfunction()
