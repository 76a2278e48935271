# The bundled data (the default map and the shipped empire AI) the game is made from.
target_compile_definitions(bench_empire_ai PRIVATE CORVANE_DATA_DIR="${PROJECT_SOURCE_DIR}/data")
# The hand-moved engine timer the test programs share.
target_include_directories(bench_empire_ai PRIVATE "${PROJECT_SOURCE_DIR}/tests")
