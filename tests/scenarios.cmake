# Registers every end-to-end scenario as a test of its own, run against this build's
# program: natively, or under Wine for the Windows build.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

# Another program that holds a file open, for the sharing scenarios; it sits beside the
# tool, where the scenarios look for it.
add_executable(hold_open ${CMAKE_SOURCE_DIR}/tests/hold_open.cpp)
target_link_libraries(hold_open PRIVATE quillpack_platform)

# A program that races an extract by swapping links into its target directory (POSIX).
if(NOT WIN32)
  add_executable(swap_link ${CMAKE_SOURCE_DIR}/tests/swap_link.cpp)
endif()

# A library the scenarios load into the tool to stand in for systems that make no file
# without a name, or cannot name one (POSIX). Without sanitizers of its own: it is loaded
# ahead of everything.
if(NOT WIN32)
  add_library(no_unnamed_files MODULE ${CMAKE_SOURCE_DIR}/tests/no_unnamed_files.cpp)
  set_target_properties(no_unnamed_files PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY
                                                                 ${CMAKE_BINARY_DIR})
  target_compile_options(no_unnamed_files PRIVATE -fno-sanitize=all)
  target_link_options(no_unnamed_files PRIVATE -fno-sanitize=all)
endif()

if(CMAKE_CROSSCOMPILING)
  set(scenario_host windows)
  set(scenario_wine --wine ${WINE_PROGRAM})
else()
  set(scenario_host posix)
  set(scenario_wine)
endif()

file(GLOB scenario_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/*.py
     ${CMAKE_SOURCE_DIR}/tests/scenarios/*.py)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${scenario_sources})

execute_process(
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/run_scenarios.py --list
          --host ${scenario_host}
  OUTPUT_VARIABLE scenario_names
  RESULT_VARIABLE scenario_list_result)
if(NOT scenario_list_result EQUAL 0)
  message(FATAL_ERROR "cannot list the end-to-end scenarios")
endif()

foreach(name IN LISTS scenario_names)
  add_test(NAME scenario.${name}
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/run_scenarios.py
                   --program $<TARGET_FILE:quillpack> --host ${scenario_host} ${scenario_wine}
                   ${name})
  set_tests_properties(scenario.${name} PROPERTIES TIMEOUT 120)
  if(CMAKE_CROSSCOMPILING)
    set_tests_properties(scenario.${name} PROPERTIES FIXTURES_REQUIRED wine)
  endif()
endforeach()
