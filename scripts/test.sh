#!/usr/bin/env bash
# Builds tarvo and runs the whole test suite (module tests and end-to-end tests), but the opt-in
# stress target (ctest -L stress), which CI runs apart.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
cd build
ctest --output-on-failure --timeout 300 -j "$(nproc)" -LE stress
