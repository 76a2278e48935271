# The benchmarks run in a private network namespace of their own. The game
# server's benchmarks join it with the tests' probe (which reports through
# GoogleTest) on the bundled data.
target_include_directories(bench_net PRIVATE "${PROJECT_SOURCE_DIR}/tests")
if(NOT TARGET GTest::gtest)
  find_package(GTest REQUIRED)
endif()
target_link_libraries(bench_net PRIVATE GTest::gtest)
target_compile_definitions(bench_net PRIVATE CORVANE_DATA_DIR="${PROJECT_SOURCE_DIR}/data")
