#!/usr/bin/env bash
# Sets up the machine, builds the server and starts it on the bundled data.
# Arguments are passed to the server (for example: -verbose +map spiral).
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh
cmake --preset release
cmake --build --preset release
exec ./build/release/corvane "$@"
