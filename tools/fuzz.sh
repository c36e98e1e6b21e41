#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer in .build/fuzz and runs each for SECONDS
# (default 15) from its seed corpus in tests/fuzz/corpus/<target>. New
# inputs go to .build/fuzz/corpus, crashes to .build/fuzz/crashes; a crash
# fails the script. Usage: tools/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_EACH="${1:-15}"
shift || true
TARGETS=("$@")
[ ${#TARGETS[@]} -eq 0 ] && TARGETS=(Payload HeaderWalk Integrity LanMessage ConfigFile PrintFile Pop3 Restore)
JOBS=${KELVO_JOBS:-2}
LAUNCHER=()
command -v ccache >/dev/null && LAUNCHER=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
CXX=clang++-14 CC=clang-14 cmake -S . -B .build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKELVO_FUZZ=ON -DKELVO_SANITIZE=ON -DKELVO_GUI=OFF -DKELVO_TESTS=OFF -DKELVO_BENCH=OFF \
  "${LAUNCHER[@]}" >/dev/null
# Only the targets and the libraries they link.
cmake --build .build/fuzz -j"$JOBS" --target "${TARGETS[@]/#/fuzz_}"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p .build/fuzz/crashes
STATUS=0
for t in "${TARGETS[@]}"; do
  mkdir -p ".build/fuzz/corpus/$t"
  echo "fuzz_$t: ${SECONDS_EACH} s"
  if ! ".build/fuzz/tests/fuzz/fuzz_$t" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix=".build/fuzz/crashes/$t-" -print_final_stats=1 \
      ".build/fuzz/corpus/$t" "tests/fuzz/corpus/$t" 2>".build/fuzz/$t.log"; then
    echo "fuzz_$t found a crash: see .build/fuzz/$t.log and .build/fuzz/crashes" >&2
    STATUS=1
  fi
  grep -E '^stat::number_of_executed_units|^stat::new_units_added' ".build/fuzz/$t.log" | tr '\n' ' ' || true
  echo
done
rm -rf /tmp/kelvo-fuzz-*
exit $STATUS
