#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and UndefinedBehaviorSanitizer into
# build-fuzz/, seeds them from the test vectors, and runs each for SECONDS (default 15), two at
# a time. New inputs stay in build-fuzz/corpus; a crash leaves its input in build-fuzz/crashes
# and fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-15}
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="$flags" -DBUILD_TESTING=OFF -DTARVO_FUZZ=ON >/dev/null
cmake --build build-fuzz --target fuzz_version fuzz_specifier fuzz_marker fuzz_requirement \
  fuzz_config -- -j "$(nproc)" >/dev/null
python3 fuzz/seeds.py build-fuzz/corpus
mkdir -p build-fuzz/crashes build-fuzz/logs
# One target; its log keeps libFuzzer's report, and a failure shows the end of it.
run() {
  local status=0
  build-fuzz/fuzz/fuzz_"$1" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len=65536 -print_final_stats=1 -artifact_prefix=build-fuzz/crashes/"$1"- \
    build-fuzz/corpus/"$1" >build-fuzz/logs/"$1".log 2>&1 || status=$?
  local runs
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' build-fuzz/logs/"$1".log)
  if [ "$status" -ne 0 ]; then
    echo "fuzz $1: FAILED after ${runs:-?} executions"
    grep -E -A12 'ERROR|runtime error|input:' build-fuzz/logs/"$1".log | head -n 30
    return 1
  fi
  echo "fuzz $1: ${runs} executions in ${seconds} s, no failure"
}
export -f run
export seconds
printf '%s\n' version specifier marker requirement config \
  | xargs -P "$(nproc)" -I{} bash -c 'run {}'
