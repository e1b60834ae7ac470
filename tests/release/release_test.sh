#!/usr/bin/env bash
# The release files, made and checked on this machine as the release workflow does: the sdist,
# the x86_64 and aarch64 wheels and the two macOS ones from scripts/release-wheels.sh, then
# scripts/release-check.sh (pip install into a fresh environment, a Debian 11 root, qemu-user;
# the macOS wheels by what they hold, as they cannot run here). Runs offline: the
# toolchain and the Debian 11 root are set up by scripts/install.sh, and zig's and ccache's
# caches make a run after the first one quick.
set -euo pipefail
. "$(dirname "$0")/../../scripts/lib.sh"
# Set up by scripts/install.sh, never here: the test does not reach the network.
if [ ! -f "$cache/debian11-root.complete" ]; then
  echo "release test: no Debian 11 root in $cache: run scripts/install.sh first" >&2
  exit 1
fi
export PIP_NO_INDEX=1 PIP_FIND_LINKS=$source/.cache/wheels PIP_DISABLE_PIP_VERSION_CHECK=1
dist=$(mktemp -d)
trap 'rm -rf "$dist"' EXIT
"$source/scripts/release-wheels.sh" "$dist" x86_64 aarch64 macos-arm64 macos-x86_64
"$source/scripts/release-check.sh" "$dist" x86_64 aarch64 macos-arm64 macos-x86_64
ls "$dist"
