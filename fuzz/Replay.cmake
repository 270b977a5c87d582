# Every fuzz target, built with the project's own compiler and without libFuzzer, runs its
# seed corpus (fuzz/corpus/<name>/) and its regression inputs (fuzz/regressions/<name>/, the
# inputs of faults the fuzzers found) as a plain test: <name> is the target's name without
# "Fuzz", in lower case (ConfFileFuzz: conffile).
file(GLOB replay_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*Fuzz.cpp)
foreach(src IN LISTS replay_sources)
  get_filename_component(target ${src} NAME_WE)
  string(REGEX REPLACE "Fuzz$" "" short ${target})
  string(TOLOWER ${short} short)
  add_executable(${target}Replay ${src} ${CMAKE_CURRENT_LIST_DIR}/ReplayMain.cpp)
  target_link_libraries(${target}Replay PRIVATE corelib proj_warnings proj_options)
  set(inputs ${CMAKE_CURRENT_LIST_DIR}/corpus/${short})
  if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/regressions/${short})
    list(APPEND inputs ${CMAKE_CURRENT_LIST_DIR}/regressions/${short})
  endif()
  if(target STREQUAL "RegistryHiveFuzz")
    # The hive's text model is the library's own, behind its platform doors.
    target_link_libraries(${target}Replay PRIVATE corelib_internals)
  endif()
  if(target STREQUAL "LaunchFuzz")
    # The launcher's command-line steps live in the program, not in the library.
    target_link_libraries(${target}Replay PRIVATE plavo_tool)
  endif()
  add_test(NAME Fuzz.${target}Inputs COMMAND ${target}Replay ${inputs})
endforeach()
