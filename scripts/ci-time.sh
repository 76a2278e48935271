#!/usr/bin/env bash
# Times CI as its machine sees it: a fresh clone of this repository's HEAD,
# no compiler cache, two cores. Runs .ci/run there and prints the wall time
# of the build (set-up, configure and compile) and of the test suite.
#
#   scripts/ci-time.sh            # cores 0 and 1
#   CI_TIME_CORES=2,3 scripts/ci-time.sh
#
# The clone and its log stay in a temporary folder, printed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

cores="${CI_TIME_CORES:-0,1}"
work="$(mktemp -d "${TMPDIR:-/tmp}/corvane-ci-time.XXXXXX")"
git clone --quiet --no-hardlinks . "$work/repo"
git -C "$work/repo" checkout --quiet --detach "$(git rev-parse HEAD)"
log="$work/ci.log"
echo "ci-time: $(git rev-parse --short HEAD) on cores $cores, log in $log"

# Each line of output is stamped with the seconds since the start; the suite
# starts at CTest's "Test project" line.
SECONDS=0
set +e
(cd "$work/repo" && CCACHE_DISABLE=1 exec taskset -c "$cores" bash .ci/run) 2>&1 |
  while IFS= read -r line; do
    printf '%6d %s\n' "$SECONDS" "$line"
  done > "$log"
status=${PIPESTATUS[0]}
set -e
total=$SECONDS

tests_at="$(awk '$2 == "Test" && $3 == "project" { print $1; exit }' "$log")"
minutes() { awk -v s="$1" 'BEGIN { printf "%.1f", s / 60 }'; }
if [ -n "$tests_at" ]; then
  echo "build: $(minutes "$tests_at") min"
  echo "tests: $(minutes $((total - tests_at))) min"
else
  echo "build: $(minutes "$total") min (the suite did not start)"
fi
echo "total: $(minutes "$total") min"
grep -E 'tests passed|tests failed' "$log" | sed 's/^ *[0-9.]* //' || true
if [ "$status" -ne 0 ]; then
  echo "ci-time: .ci/run failed with status $status (see $log)" >&2
  exit "$status"
fi
