enable_testing()
include(GoogleTest)

if(CMAKE_CROSSCOMPILING AND NOT WINE_PROGRAM)
  message(FATAL_ERROR "The Windows build's tests run under Wine, which is not installed.")
endif()

if(CMAKE_CROSSCOMPILING)
  # The cross build compiles GoogleTest from the sources Debian installs.
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  set(QUILLPACK_GTEST_MAIN gtest_main)
else()
  find_package(GTest REQUIRED)
  set(QUILLPACK_GTEST_MAIN GTest::gtest_main)
endif()

# One test executable for every layer's tests, each listed beside its layer's sources.
set(QUILLPACK_TEST_SOURCES)
foreach(layer IN ITEMS platform failures text files process console merged)
  string(TOUPPER ${layer} upper)
  list(TRANSFORM QUILLPACK_${upper}_TESTS PREPEND ${PROJECT_SOURCE_DIR}/src/${layer}/)
  list(APPEND QUILLPACK_TEST_SOURCES ${QUILLPACK_${upper}_TESTS})
endforeach()
# A test file beside the code that no list names would never run: refuse it.
file(GLOB_RECURSE present CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/*_test.cpp)
foreach(test_file IN LISTS present)
  if(NOT test_file IN_LIST QUILLPACK_TEST_SOURCES)
    message(FATAL_ERROR "${test_file} is in no layer's list of tests")
  endif()
endforeach()
add_executable(quillpack_tests ${QUILLPACK_TEST_SOURCES})
target_link_libraries(quillpack_tests PRIVATE quillpack_merged ${QUILLPACK_GTEST_MAIN})
target_include_directories(quillpack_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
quillpack_target_options(quillpack_tests)

if(CMAKE_CROSSCOMPILING)
  # Wine needs a prefix before the first program starts; tests that start Wine in
  # parallel on a fresh prefix race, so one fixture makes it serially.
  add_test(NAME wine_prefix COMMAND ${CMAKE_SOURCE_DIR}/tests/init_wine_prefix)
  set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine)
  set(QUILLPACK_TEST_FIXTURES wine)
endif()

gtest_discover_tests(quillpack_tests
  DISCOVERY_MODE PRE_TEST
  DISCOVERY_TIMEOUT 120
  PROPERTIES FIXTURES_REQUIRED "${QUILLPACK_TEST_FIXTURES}")

if(TARGET quillpack)
  include(${CMAKE_SOURCE_DIR}/tests/scenarios.cmake)
  include(${CMAKE_SOURCE_DIR}/tests/install_test.cmake)
endif()
