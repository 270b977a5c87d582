# Tests of the selection window: the real program under a private Xvfb server, driven with
# xdotool as a person would use it. Each scenario is one CTest test; results come from the
# project ID file and the exit code, and every run keeps a screenshot in
# <build>/gui-test-output/<scenario>/.
if(WIN32)
  return()
endif()
find_package(X11 REQUIRED)
add_executable(plavo-close-window ${CMAKE_CURRENT_SOURCE_DIR}/tests/gui/CloseWindow.cpp)
target_link_libraries(plavo-close-window PRIVATE X11::X11 proj_warnings proj_options)

find_program(PLAVO_XVFB Xvfb)
find_program(PLAVO_XDOTOOL xdotool)
if(NOT PLAVO_XVFB OR NOT PLAVO_XDOTOOL)
  message(WARNING "Xvfb or xdotool missing: the GUI tests are not registered (scripts/deps.sh installs them)")
  return()
endif()

set(plavo_gui_scenarios
  title-and-order default-title filter-moves-and-disables click-then-close-box
  double-click ok-without-click arrows-then-ok byte-above-127 map-logo unreadable-logo
  no-display)
foreach(scenario IN LISTS plavo_gui_scenarios)
  add_test(NAME gui.${scenario}
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/gui/run-gui-test.sh ${scenario})
  set_tests_properties(gui.${scenario} PROPERTIES
    TIMEOUT 60
    # One private X server at a time: a server shutting down can unlink the socket of a
    # server that has just taken over its display number.
    RESOURCE_LOCK plavo_x_server
    ENVIRONMENT "PLAVO=$<TARGET_FILE:plavo>;PLAVO_CLOSE_WINDOW=$<TARGET_FILE:plavo-close-window>;PLAVO_GUI_OUTPUT=${CMAKE_BINARY_DIR}/gui-test-output;LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/tests/gui/lsan.supp:print_suppressions=0")
endforeach()
