#!/usr/bin/env bash
# scripts/build.sh [PRESET [TARGET...]]
#
# Configures and builds one variant of tarvo, a preset of CMakePresets.json (default: the
# development build, tarvo and its tests, into build/), with ccache where it is installed; the
# targets named, or all. `cmake --list-presets` lists the variants.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
build_preset "${1:-default}" "${@:2}"
