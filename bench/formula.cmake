# muparser, only as the yardstick the formula evaluator is measured against.
pkg_check_modules(MUPARSER REQUIRED IMPORTED_TARGET muparser)
target_link_libraries(bench_formula PRIVATE PkgConfig::MUPARSER)
