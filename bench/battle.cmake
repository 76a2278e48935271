# The battle is the battle test's: its set-up lives with the tests.
target_include_directories(bench_battle PRIVATE "${PROJECT_SOURCE_DIR}/tests")
