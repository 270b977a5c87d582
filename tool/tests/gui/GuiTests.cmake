# Tests of the selection window: the real program under a private Xvfb server, driven with
# xdotool as a person would use it. Each scenario is one CTest test; results come from the
# project ID file and the exit code, and every run keeps a screenshot in
# <build>/gui-test-output/<scenario>/.
if(WIN32)
  return()
endif()
find_package(X11 REQUIRED)
# Waits for the window (mapped, its first events handled) and sends the close-box message.
add_executable(plavo-gui-x ${CMAKE_CURRENT_SOURCE_DIR}/tests/gui/XWindow.cpp)
target_link_libraries(plavo-gui-x PRIVATE X11::X11 proj_warnings proj_options)

find_program(PLAVO_XVFB Xvfb)
find_program(PLAVO_XDOTOOL xdotool)
if(NOT PLAVO_XVFB OR NOT PLAVO_XDOTOOL)
  message(WARNING "Xvfb or xdotool missing: the GUI tests are not registered (scripts/deps.sh installs them)")
  return()
endif()

# What needs real input on a real display; what the window or the program does without one
# is left to their unit tests.
set(plavo_gui_scenarios
  double-click filter-moves-and-disables click-then-close-box ok-before-and-after-click arrows-then-ok
  byte-above-127 map-logo unreadable-logo)
foreach(scenario IN LISTS plavo_gui_scenarios)
  add_test(NAME gui.${scenario}
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/gui/run-gui-test.sh ${scenario})
  set_tests_properties(gui.${scenario} PROPERTIES
    TIMEOUT 60
    # One private X server at a time: a server shutting down can unlink the socket of a
    # server that has just taken over its display number.
    RESOURCE_LOCK plavo_x_server
    ENVIRONMENT "PLAVO=$<TARGET_FILE:plavo>;PLAVO_GUI_X=$<TARGET_FILE:plavo-gui-x>;PLAVO_GUI_OUTPUT=${CMAKE_BINARY_DIR}/gui-test-output;LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/tests/gui/lsan.supp:print_suppressions=0")
endforeach()
