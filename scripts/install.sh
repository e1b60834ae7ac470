#!/usr/bin/env bash
# Installs what the build and the tests need, builds tarvo and installs it on PATH.
# Run as root on a fresh Debian machine: scripts/install.sh
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(build-essential cmake ninja-build pkg-config libfmt-dev
  libgtest-dev nlohmann-json3-dev clang-format python3 python3-venv python3-pip
  python-is-python3 python3-yaml debootstrap clang libclang-rt-14-dev man-db zsh fish
  ccache qemu-user-static fuse-overlayfs iproute2 util-linux)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

scripts/fetch-wheels.sh
# The release test's toolchain (zig from PyPI) and its Debian 11 root, once, in ~/.cache/tarvo;
# the root gets Debian 11's g++, with which the sdist check builds tarvo.
scripts/release-toolchain.sh >/dev/null
scripts/debian11-root.sh g++ python3-venv >/dev/null
scripts/build.sh
# The program, its shell completions and its manual page, where the system looks for them.
cmake --install build --prefix /usr/local --strip >/dev/null
# fish reads vendor completions below /usr/local only when XDG_DATA_DIRS names it, and Debian
# leaves that unset: the completion goes where fish itself says it looks.
fish_completions=$(pkg-config --variable completionsdir fish 2>/dev/null || true)
if [ -n "$fish_completions" ]; then
  install -D -m 644 build/share/fish/vendor_completions.d/tarvo.fish \
    "$fish_completions/tarvo.fish"
fi
echo "installed: $(command -v tarvo) ($(tarvo --version)), with completions and man page"
# The container tests' images, built locally (reused when they are up to date).
scripts/container-images.sh
