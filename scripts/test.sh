#!/usr/bin/env bash
# The project's test suite, what a contributor runs before sending a change: builds tarvo and its
# tests (scripts/build.sh) and runs the labels unit, cli, python, containers and second-engine.
# It needs no network: everything it installs comes from what scripts/install.sh fetched and
# built (wheels, images). The longer release engineering checks are scripts/release-checks.sh.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
build_preset default
cd "$source/build"
ctest --output-on-failure -j "$jobs" -L '^(unit|cli|python|containers|second-engine)$'
