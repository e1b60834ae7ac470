#!/usr/bin/env bash
# Installs what the build and the tests need, builds tarvo and installs it on PATH, and sets up
# everything the test suite and the release checks install from, so that they run offline.
# Run as root on a fresh Debian machine: scripts/install.sh
set -euo pipefail
. "$(dirname "$0")/lib.sh"
cd "$source"
started=$SECONDS

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
echo "install: packages ready after $((SECONDS - started)) s"

# What is mostly downloading and unpacking runs beside the build, each step with its own log:
# the wheels the tests install (scripts/fetch-wheels.sh), the release toolchain (zig from PyPI),
# the older zig of the LLVM 17 cross check and the Debian 11 root with Debian 11's g++ (in
# ~/.cache/tarvo), and the container tests' images, built locally and reused while their recipe
# is unchanged.
logs=$(mktemp -d)
# A failed build still lets the steps beside it finish (none is left half done).
trap 'wait; rm -rf "$logs"' EXIT
steps=()
beside() {
  local name=$1
  shift
  steps+=("$name")
  (
    start=$SECONDS
    status=0
    "$@" >"$logs/$name.log" 2>&1 || status=$?
    echo "$status $((SECONDS - start))" >"$logs/$name.done"
  ) &
}
beside wheels scripts/fetch-wheels.sh
beside toolchain scripts/release-toolchain.sh
beside older-zig scripts/release-toolchain.sh --zig \
  "$(preset_environment cross-aarch64-macos-llvm17 TARVO_ZIG_VERSION)"
beside debian11-root scripts/debian11-root.sh g++ python3-venv
beside images scripts/container-images.sh

start=$SECONDS
# The program and its docs only: the tests are built by scripts/test.sh, which needs them.
scripts/build.sh default tarvo docs
# The program, its shell completions and its manual page, where the system looks for them.
cmake --install build --prefix /usr/local --strip >/dev/null
# fish reads vendor completions below /usr/local only when XDG_DATA_DIRS names it, and Debian
# leaves that unset: the completion goes where fish itself says it looks.
fish_completions=$(pkg-config --variable completionsdir fish 2>/dev/null || true)
if [ -n "$fish_completions" ]; then
  install -D -m 644 build/share/fish/vendor_completions.d/tarvo.fish \
    "$fish_completions/tarvo.fish"
fi
echo "install: built in $((SECONDS - start)) s: $(command -v tarvo) ($(tarvo --version))," \
  "with completions and man page"

wait
failed=0
for name in "${steps[@]}"; do
  read -r status took <"$logs/$name.done"
  if [ "$status" = 0 ]; then
    echo "install: $name ready in $took s"
    grep -h '^container-images:' "$logs/$name.log" || true
  else
    tail -n 30 "$logs/$name.log" >&2
    echo "install: $name failed (status $status, after $took s)" >&2
    failed=1
  fi
done
[ "$failed" = 0 ] || exit 1
echo "install: done in $((SECONDS - started)) s"
