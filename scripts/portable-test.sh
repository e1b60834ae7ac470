#!/usr/bin/env bash
# Builds tarvo with the POSIX calls that macOS and the BSDs use instead of Linux's own (cmake
# -DTARVO_PORTABLE=ON) into build-portable/, and runs the unit, cli and python labels there.
# tarvo's own wheel (PythonPackage) is left out: pip builds it with the default build, which
# the main run tests.
set -euo pipefail
cd "$(dirname "$0")/.."
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-portable -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVO_PORTABLE=ON \
  "${launcher[@]}" >/dev/null
cmake --build build-portable -j "$(nproc)" --target tarvo docs unit_tests cli_tests python_tests \
  no_pidfd
cd build-portable
ctest --output-on-failure --timeout 900 -j "$(nproc)" -L "unit|cli|python" -E PythonPackage
