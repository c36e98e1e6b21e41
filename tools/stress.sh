#!/usr/bin/env bash
# Five copies of Kelvo as separate processes on loopback, each making
# random adds, edits and deletes on one shared file, then comparing what
# every copy holds with the file. Usage: tools/stress.sh [OPERATIONS]
# (per copy, 2000 by default). Uses the test build of tools/run-tests.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
OPS="${1:-2000}"
if [ ! -x .build/test/tests/test_network ]; then
  echo "Build the tests first: bash tools/run-tests.sh" >&2
  exit 2
fi
START=$(date +%s)
KELVO_STRESS_OPS="$OPS" .build/test/tests/test_network --gtest_filter=SessionTest.StressOfFiveCopies
END=$(date +%s)
echo "5 copies x $OPS operations: $((END - START)) s, $(( (END - START) * 1000 / (5 * OPS) )) ms per operation"
