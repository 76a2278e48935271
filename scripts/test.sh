#!/usr/bin/env bash
# Sets up the machine, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh
# With ccache installed, compiles go through it (cache in the user's cache
# folder): a rerun on the same machine rebuilds only what changed. Results
# are the same with or without it; CCACHE_DISABLE=1 turns it off.
if command -v ccache >/dev/null 2>&1; then
  export CMAKE_CXX_COMPILER_LAUNCHER="${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}"
  export CMAKE_C_COMPILER_LAUNCHER="${CMAKE_C_COMPILER_LAUNCHER:-ccache}"
fi
cmake --preset asan
cmake --build --preset asan
jobs=$(nproc 2>/dev/null || echo 2)
ctest --preset asan -j "$jobs"
