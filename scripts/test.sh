#!/usr/bin/env bash
# The project's test suite, what a contributor runs before sending a change: builds tarvo and its
# tests (scripts/build.sh), after checking that the tree is clang-formatted, and runs the labels
# unit, cli, python, containers and second-engine.
# It needs no network: everything it installs comes from what scripts/install.sh fetched and
# built (wheels, images). The longer release engineering checks are scripts/release-checks.sh.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
# The tree is clang-formatted (the house's .clang-format), and the development build treats
# warnings as errors (the preset default).
cd "$source"
unformatted=$(git ls-files '*.cpp' '*.hpp' '*.h' ':!third_party' | while read -r file; do
  clang-format --dry-run --Werror "$file" >/dev/null 2>&1 || echo "$file"
done)
if [ -n "$unformatted" ]; then
  echo "test: not clang-formatted (clang-format -i the files):" >&2
  echo "$unformatted" >&2
  exit 1
fi
build_preset default
cd "$source/build"
ctest --output-on-failure -j "$jobs" -L '^(unit|cli|python|containers|second-engine)$'
