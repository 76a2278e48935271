# Helpers that keep one library per subsystem folder and one test program per
# subsystem. Sources are found by glob, so adding a file needs no CMake edit.

set(CORVANE_WARNINGS -Wall -Wextra)

# Time limits of CTest tests, in seconds: every unit test, and the longer
# seeded fuzz runs. Only a safety net against a test that hangs: the heaviest
# unit tests (the saved-game damage runs) take over 300 s under the sanitizers
# when the whole suite runs at -j16 on a few cores.
set(CORVANE_TEST_TIMEOUT 900)

# Test programs compile their files in batches of this many (one translation
# unit a batch). Off, every file compiles alone: handy to check that each
# test file includes what it uses.
option(CORVANE_TEST_UNITY "Compile the test programs in batches of files" ON)
set(CORVANE_TEST_UNITY_BATCH 8 CACHE STRING "Files a batch when CORVANE_TEST_UNITY is on")
set(CORVANE_FUZZ_TIMEOUT 900)

# CTest runs every test in a process of its own, so a test program's start-up
# is paid once a test. Linked position-dependent, a program starts without the
# dynamic loader relocating its data (over a million relocations in the larger
# sanitizer builds): about half of its start-up. ThreadSanitizer builds keep
# the default, which its run-time expects.
include(CheckLinkerFlag)
check_linker_flag(CXX "-no-pie" CORVANE_HAVE_NO_PIE)
set(CORVANE_TEST_LINK_OPTIONS "")
if(CORVANE_HAVE_NO_PIE AND NOT CORVANE_TSAN)
  set(CORVANE_TEST_LINK_OPTIONS "-no-pie")
endif()

# corvane_library(<name> [DEPENDS targets...]): static library corvane_<name>
# from every .cpp under the calling folder.
#
# A subsystem's services that lower subsystems call (text escapes, number and
# colour readers, the console, session globals) live in its base/ folder and
# form their own library, corvane_<name>_base (see corvane_base_library),
# placed earlier in the dependency order. corvane_library leaves base/ out and
# links it.
function(corvane_library name)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
       "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp" "${CMAKE_CURRENT_SOURCE_DIR}/*.h")
  list(FILTER sources EXCLUDE REGEX "${CMAKE_CURRENT_SOURCE_DIR}/base/")
  if(TARGET corvane_${name}_base)
    list(APPEND ARG_DEPENDS corvane_${name}_base)
  endif()
  add_library(corvane_${name} STATIC ${sources})
  target_include_directories(corvane_${name} PUBLIC "${PROJECT_SOURCE_DIR}/src")
  target_compile_options(corvane_${name} PRIVATE ${CORVANE_WARNINGS})
  target_link_libraries(corvane_${name} PUBLIC ${ARG_DEPENDS})
  set_property(GLOBAL APPEND PROPERTY CORVANE_LIBRARIES corvane_${name})
endfunction()

# corvane_test_suite(<subsystem> [DEPENDS targets...]): test program
# <subsystem>_tests from every .cpp under the calling folder, run by CTest.
function(corvane_test_suite name)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  add_executable(${name}_tests ${sources})
  target_compile_options(${name}_tests PRIVATE ${CORVANE_WARNINGS})
  # Test files share most of their headers and template code: compiled in
  # batches they are parsed and instantiated once a batch instead of once a
  # file (see CORVANE_TEST_UNITY).
  if(CORVANE_TEST_UNITY)
    set_target_properties(${name}_tests PROPERTIES
      UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE ${CORVANE_TEST_UNITY_BATCH})
  endif()
  target_include_directories(${name}_tests PRIVATE "${PROJECT_SOURCE_DIR}/tests")
  if(TARGET corvane_${name})
    set(library corvane_${name})
  else()
    set(library corvane_${name}_base)  # only the subsystem's base helpers exist yet
  endif()
  target_link_libraries(${name}_tests PRIVATE ${library} ${ARG_DEPENDS} GTest::gtest_main GTest::gmock)
  target_link_options(${name}_tests PRIVATE ${CORVANE_TEST_LINK_OPTIONS})
  target_compile_definitions(${name}_tests PRIVATE
    CORVANE_SOURCE_DIR="${PROJECT_SOURCE_DIR}" CORVANE_BINARY_DIR="${PROJECT_BINARY_DIR}")
  # Every test has a time limit, so that one that hangs fails under its own
  # name instead of holding the whole run.
  gtest_discover_tests(${name}_tests DISCOVERY_TIMEOUT 120
    PROPERTIES ENVIRONMENT "CORVANE_TEST_TMP=${PROJECT_BINARY_DIR}/test-tmp" TIMEOUT ${CORVANE_TEST_TIMEOUT})
endfunction()

# corvane_base_library(<name> [DEPENDS targets...]): corvane_<name>_base from
# the calling folder (src/<name>/base/), linked by corvane_<name> and by the
# lower subsystems that call it.
function(corvane_base_library name)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
       "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp" "${CMAKE_CURRENT_SOURCE_DIR}/*.h")
  add_library(corvane_${name}_base STATIC ${sources})
  target_include_directories(corvane_${name}_base PUBLIC "${PROJECT_SOURCE_DIR}/src")
  target_compile_options(corvane_${name}_base PRIVATE ${CORVANE_WARNINGS})
  target_link_libraries(corvane_${name}_base PUBLIC ${ARG_DEPENDS})
  set_property(GLOBAL APPEND PROPERTY CORVANE_LIBRARIES corvane_${name}_base)
endfunction()

# corvane_fuzz_target(<name> SOURCES files... LIBRARIES targets... [RUNS n]):
# a fuzz entry point (LLVMFuzzerTestOneInput, and optionally corvaneFuzzSeeds
# giving well-formed seed inputs) built two ways:
#  - fuzz_<name>: our seeded driver (tests/fuzz/driver.cpp), run by CTest on
#    RUNS inputs (default 100000) in the sanitizer build;
#  - fuzz_<name>_libfuzzer: with -DCORVANE_LIBFUZZER=ON and clang as the
#    compiler, a libFuzzer program for longer runs by hand.
option(CORVANE_LIBFUZZER "Build libFuzzer programs of the fuzz targets (needs clang)" OFF)
function(corvane_fuzz_target name)
  cmake_parse_arguments(ARG "" "RUNS" "SOURCES;LIBRARIES" ${ARGN})
  if(NOT ARG_RUNS)
    set(ARG_RUNS 100000)
  endif()
  add_executable(fuzz_${name} ${ARG_SOURCES} "${PROJECT_SOURCE_DIR}/tests/fuzz/driver.cpp")
  target_compile_options(fuzz_${name} PRIVATE ${CORVANE_WARNINGS})
  target_link_libraries(fuzz_${name} PRIVATE ${ARG_LIBRARIES})
  target_link_options(fuzz_${name} PRIVATE ${CORVANE_TEST_LINK_OPTIONS})
  add_test(NAME fuzz_${name} COMMAND fuzz_${name} ${ARG_RUNS})
  set_tests_properties(fuzz_${name} PROPERTIES TIMEOUT ${CORVANE_FUZZ_TIMEOUT})
  if(CORVANE_LIBFUZZER)
    add_executable(fuzz_${name}_libfuzzer ${ARG_SOURCES})
    target_compile_options(fuzz_${name}_libfuzzer PRIVATE -fsanitize=fuzzer)
    target_link_options(fuzz_${name}_libfuzzer PRIVATE -fsanitize=fuzzer)
    target_link_libraries(fuzz_${name}_libfuzzer PRIVATE ${ARG_LIBRARIES})
  endif()
endfunction()
