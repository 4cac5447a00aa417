# GoogleTest for the native and the Windows (MinGW, run under wine) builds, and
# srom_add_test() to register one test executable.
include_guard(GLOBAL)

if(NOT CMAKE_CROSSCOMPILING)
  find_package(GTest QUIET)
endif()
if(NOT TARGET GTest::gtest_main)
  # Cross builds (and machines without the CMake package) build GoogleTest from
  # the sources Debian's googletest package ships.
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # GoogleTest 1.11 and later name their targets GTest::* themselves.
  foreach(lib gtest gtest_main gmock)
    if(NOT TARGET GTest::${lib})
      add_library(GTest::${lib} ALIAS ${lib})
    endif()
  endforeach()
endif()
include(GoogleTest)

# One ctest entry per test case (the default: a failure names its case, and
# each case runs in a fresh process), or one per test executable: for builds
# whose every process start is slow, as under wine or a sanitizer.
option(SROM_TEST_PER_EXECUTABLE "One ctest entry per test executable, not per test case" OFF)

# srom_add_test(<name> SOURCES <files...> LIBS <targets...>)
function(srom_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main)
  # Test doubles and helpers are included as "support/...".
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
      SROM_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data")
  if(CMAKE_CROSSCOMPILING OR SROM_TEST_PER_EXECUTABLE)
    add_test(NAME ${name} COMMAND ${name})
  else()
    # Named by their cases alone: a parameter's printed bytes (addresses,
    # for some) would give a case another name at every run.
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES)
  endif()
endfunction()
