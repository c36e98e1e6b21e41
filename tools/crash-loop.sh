#!/usr/bin/env bash
# The long crash loop: a copy of Kelvo making random edits is killed with
# SIGKILL KILLS times at random moments; after each kill the file is
# reopened alone and checked (integrity, locks left behind, close status, no
# acknowledged record lost). Prints kills, reopens, repairs needed and
# records lost. Usage: tools/crash-loop.sh KILLS [SEED]. Uses the test build
# of tools/run-tests.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
KILLS="${1:?usage: tools/crash-loop.sh KILLS [SEED]}"
SEED="${2:-1}"
BIN=.build/test/tests/test_reliability
if [ ! -x "$BIN" ]; then
  echo "Build the tests first: bash tools/run-tests.sh" >&2
  exit 2
fi
START=$(date +%s)
KELVO_CRASH_KILLS="$KILLS" KELVO_CRASH_SEED="$SEED" "$BIN" --gtest_filter=CrashLoop.* | grep -E '^kills=|Failure|lost|FAILED' || true
echo "seed $SEED: $(( $(date +%s) - START )) s"
