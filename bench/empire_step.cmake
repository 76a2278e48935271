# The shipped empire AI module the step runs.
target_compile_definitions(bench_empire_step PRIVATE CORVANE_DATA_DIR="${PROJECT_SOURCE_DIR}/data")
