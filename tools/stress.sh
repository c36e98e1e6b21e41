#!/usr/bin/env bash
# The soak: five copies of Kelvo as separate processes on loopback make
# random adds, edits and deletes on one shared file; one copy is killed in
# the middle and started again. Reports operations per second, lost
# updates, duplicate keys and the integrity test. Usage: tools/stress.sh
# [OPERATIONS] (per copy, 2000 by default). Uses the test build of
# tools/run-tests.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
OPS="${1:-2000}"
BIN=.build/test/tests/test_reliability
if [ ! -x "$BIN" ]; then
  echo "Build the tests first: bash tools/run-tests.sh" >&2
  exit 2
fi
KELVO_SOAK_OPS="$OPS" "$BIN" --gtest_filter='Soak.*' | grep -E '^soak:|Failure|FAILED|lost' || true
