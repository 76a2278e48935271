# Helpers that keep one library per subsystem folder and one test program per
# subsystem. Sources are found by glob, so adding a file needs no CMake edit.

set(CORVANE_WARNINGS -Wall -Wextra)

# corvane_library(<name> [DEPENDS targets...]): static library corvane_<name>
# from every .cpp under the calling folder.
function(corvane_library name)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
       "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp" "${CMAKE_CURRENT_SOURCE_DIR}/*.h")
  add_library(corvane_${name} STATIC ${sources})
  target_include_directories(corvane_${name} PUBLIC "${PROJECT_SOURCE_DIR}/src")
  target_compile_options(corvane_${name} PRIVATE ${CORVANE_WARNINGS})
  target_link_libraries(corvane_${name} PUBLIC ${ARG_DEPENDS})
endfunction()

# corvane_test_suite(<subsystem> [DEPENDS targets...]): test program
# <subsystem>_tests from every .cpp under the calling folder, run by CTest.
function(corvane_test_suite name)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  add_executable(${name}_tests ${sources})
  target_compile_options(${name}_tests PRIVATE ${CORVANE_WARNINGS})
  target_include_directories(${name}_tests PRIVATE "${PROJECT_SOURCE_DIR}/tests")
  target_link_libraries(${name}_tests PRIVATE corvane_${name} ${ARG_DEPENDS} GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name}_tests PRIVATE
    CORVANE_SOURCE_DIR="${PROJECT_SOURCE_DIR}" CORVANE_BINARY_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${name}_tests DISCOVERY_TIMEOUT 120
    PROPERTIES ENVIRONMENT "CORVANE_TEST_TMP=${PROJECT_BINARY_DIR}/test-tmp")
endfunction()
