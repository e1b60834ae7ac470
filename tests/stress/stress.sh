#!/usr/bin/env bash
# The interrupt cases that once lost a race only on a loaded machine, RUNS times in a row (default
# $TARVO_STRESS_RUNS, else 25) beside a busy loop on every core, with pidfd_open working and refused: a signal to a
# captured step and what it started, SIGINT to tarvo's whole group while five checks run, Ctrl-C
# while a real .venv is made. Stops at the first failure.
#   tests/stress/stress.sh BUILD_DIR [RUNS]
set -euo pipefail
build=$1
runs=${2:-${TARVO_STRESS_RUNS:-25}}
busy=()
stop_busy() {
  if [ ${#busy[@]} -gt 0 ]; then
    kill "${busy[@]}" 2>/dev/null || :
  fi
}
trap stop_busy EXIT
for _ in $(seq "$(getconf _NPROCESSORS_ONLN)"); do
  (while :; do :; done) &
  busy+=($!)
done
"$build/tests/cli_tests" --gtest_repeat="$runs" --gtest_fail_fast --gtest_brief=1 \
  --gtest_filter='Waits/InterruptRaces.*'
"$build/tests/python_tests" --gtest_repeat="$runs" --gtest_fail_fast --gtest_brief=1 \
  --gtest_filter='Waits/InterruptedVenv.*'
echo "stress: every case passed $runs times in a row"
