# The bundled data (the default map, planet types, names) the saved game is made from.
target_compile_definitions(bench_saved_game PRIVATE CORVANE_DATA_DIR="${PROJECT_SOURCE_DIR}/data")
