# The bundled data (structures, build lists, the default map) the governed planet is set up from.
target_compile_definitions(bench_build_rules PRIVATE CORVANE_DATA_DIR="${PROJECT_SOURCE_DIR}/data")
