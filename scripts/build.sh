#!/usr/bin/env bash
# Configures and builds tarvo and its tests into build/.
set -euo pipefail
cd "$(dirname "$0")/.."
# ccache keeps the objects of earlier builds (installed by scripts/install.sh).
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
cmake --build build -j "$(nproc)"
