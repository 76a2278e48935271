#!/usr/bin/env bash
# Sets up the machine, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh
cmake --preset asan
cmake --build --preset asan
jobs=$(nproc 2>/dev/null || echo 2)
ctest --preset asan -j "$jobs"
