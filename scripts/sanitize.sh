#!/usr/bin/env bash
# Builds tarvo and its tests with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-sanitize/ and runs the suite there, but for the container tests and the builds of tarvo's
# own wheel, the release wheels and the sdist on Debian 11 (they test docker, packaging and
# compilers, not tarvo's memory, and take the longest).
set -euo pipefail
cd "$(dirname "$0")/.."
flags="-O1 -g1 -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=None "${launcher[@]}" \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build build-sanitize -j "$(nproc)" --target tarvo docs unit_tests cli_tests python_tests container_tests no_pidfd
cd build-sanitize
# The pidfd_open shim is preloaded before the sanitizer runtime in some tests.
export ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The second engine's tests are not built here, so ctest's placeholder for them is left out too.
ctest --output-on-failure --timeout 600 -j "$(nproc)" \
  -LE "containers|second-engine|release|old-compilers|stress" -E "PythonPackage|_NOT_BUILT$"
