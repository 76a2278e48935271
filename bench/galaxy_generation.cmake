# The bundled data (maps, planet types, names) the generated galaxies use.
target_compile_definitions(bench_galaxy_generation PRIVATE CORVANE_DATA_DIR="${PROJECT_SOURCE_DIR}/data")
