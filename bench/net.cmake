# The benchmarks run in a private network namespace of their own.
target_include_directories(bench_net PRIVATE "${PROJECT_SOURCE_DIR}/tests")
