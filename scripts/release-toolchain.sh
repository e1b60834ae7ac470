#!/usr/bin/env bash
# scripts/release-toolchain.sh [--zig VERSION]
#
# Installs, once, what the release builds use into a virtual environment in tarvo's cache folder
# (outside the clone, so that every clone and CI run shares it) and prints its path: zig from
# PyPI as the C++ toolchain for every target, the build backend, and the wheel tools.
# With --zig, an environment of that zig alone (zig-VERSION), for the checks that compile with an
# older clang and libc++ than the release's (scripts/cross-check.sh).
# The cache folder is $TARVO_CACHE, or ~/.cache/tarvo.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
if [ "${1:-}" = --zig ]; then
  requirements=("ziglang==$2")
  dest=$cache/zig-$2
  imports=ziglang
else
  # zig is pinned: its clang, libc++ and C libraries decide what the release binaries are.
  requirements=(ziglang==0.15.2 "scikit-build-core>=0.10" build wheel auditwheel)
  dest=$cache/toolchain-$(printf '%s\n' "${requirements[@]}" | sha256sum | cut -c1-12)
  imports=auditwheel,build,scikit_build_core,wheel
fi
mkdir -p "$cache"
exec 9>"$cache/toolchain.lock"
flock 9
# A cached environment is trusted only while it still runs: its Python is the machine's, which
# may have changed or gone since (a CI cache restored onto another runner image), and zig must
# answer with the pinned version.
runs() {
  "$dest/bin/python" -c "import $imports" 2>/dev/null &&
    [ "$("$dest/bin/python" -m ziglang version 2>/dev/null)" = "${requirements[0]#ziglang==}" ]
}
if [ ! -f "$dest/.complete" ] || ! runs; then
  rm -rf "$dest"
  python3 -m venv "$dest"
  "$dest/bin/pip" install --quiet --disable-pip-version-check "${requirements[@]}" >&2
  runs || {
    echo "release-toolchain: the new environment in $dest does not run" >&2
    exit 1
  }
  touch "$dest/.complete"
  # Environments of earlier requirement lists go; a zig of its own leaves them be.
  [ "${1:-}" = --zig ] ||
    find "$cache" -maxdepth 1 -name 'toolchain-????????????' ! -path "$dest" -exec rm -rf {} +
fi
echo "$dest"
