#!/usr/bin/env bash
# Installs what is missing, builds the test build (AddressSanitizer and
# UndefinedBehaviorSanitizer), starts the servers the tests need and runs
# every test.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/deps.sh
kelvo_install_deps
JOBS=${KELVO_JOBS:-2}
cmake -S . -B .build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKELVO_SANITIZE=ON -DKELVO_BENCH=OFF
cmake --build .build/test -j"$JOBS"
[ -x tools/test-servers.sh ] && source tools/test-servers.sh && kelvo_start_test_servers
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
cd .build/test && ctest --output-on-failure -j"$JOBS" --timeout 600
# Each fuzz target for a bounded time with clang (KELVO_FUZZ_SECONDS=0 skips it).
cd ../..
[ "${KELVO_FUZZ_SECONDS:-15}" = 0 ] || bash tools/fuzz.sh "${KELVO_FUZZ_SECONDS:-15}"
