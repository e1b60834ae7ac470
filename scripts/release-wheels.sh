#!/usr/bin/env bash
# scripts/release-wheels.sh OUTDIR [x86_64|aarch64|macos-arm64|macos-x86_64]...
#
# Writes tarvo's release files into OUTDIR: the sdist, and one wheel for each target named (the
# two Linux ones, x86_64 and aarch64, when none is). A Linux wheel installs and runs on any Linux
# of its architecture, with glibc 2.17 or later or with musl: its program is linked statically,
# with musl and zig's libc++, so it loads no shared library at all, and the wheel is tagged for
# both kinds of C library (manylinux_2_17 and musllinux_1_2). A macOS wheel holds a program
# cross-built here, with zig's libc++ linked in and macOS's own C library (libSystem), tagged
# for the oldest macOS it targets: 11.0 on arm64, 10.13 on x86_64 (scripts/lib.sh). Every
# wheel carries the program, the shell completions, the manual page and the licences of what is
# compiled in, and is built from the sdist, which so proves that it holds every source.
#
# The toolchain (zig from PyPI, scripts/release-toolchain.sh), zig's builds of libc++ and
# ccache's objects stay in tarvo's cache folder ($TARVO_CACHE, or ~/.cache/tarvo), so later runs
# only compile what changed. Another architecture's docs generator runs under qemu-user
# (Debian's qemu-user-static); a macOS build takes the docs of a build for this machine, since
# they are the same everywhere and its own generator cannot run here.
set -euo pipefail
if [ $# -lt 1 ]; then
  echo "usage: $0 OUTDIR [x86_64|aarch64|macos-arm64|macos-x86_64]..." >&2
  exit 2
fi
. "$(dirname "$0")/lib.sh"
mkdir -p "$1"
out=$(cd "$1" && pwd)
shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(x86_64 aarch64)
for target in "${targets[@]}"; do
  case $target in
  x86_64 | aarch64 | macos-arm64 | macos-x86_64) ;;
  *)
    echo "release-wheels: unknown target '$target' (x86_64, aarch64, macos-arm64, macos-x86_64)" >&2
    exit 2
    ;;
  esac
done

use_zig
version=$(sed -n 's/^project(tarvo VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Runs a step quietly; its output is shown only if it fails.
quietly() {
  local log=$work/step.log
  "$@" >"$log" 2>&1 || {
    cat "$log" >&2
    echo "release-wheels: failed: $*" >&2
    exit 1
  }
}

echo "release-wheels: sdist"
quietly "$python" -m build --sdist --no-isolation --outdir "$work/sdist" "$source"
sdist=$work/sdist/tarvo-$version.tar.gz
tar -xzf "$sdist" -C "$work"
tree=$work/tarvo-$version
cp "$sdist" "$out/"

# The sources and the build folders lie side by side in $work, whose name changes from run to run.
ccache=()
zig_ccache "$work" && ccache=(CMAKE_CXX_COMPILER_LAUNCHER=ccache)

# The Linux wheels first: a macOS build takes the docs of the wheel for this machine, or else of a
# build for this machine made only as far as the docs need it.
host=$(uname -m)
mapfile -t targets < <(printf '%s\n' "${targets[@]}" | grep -v '^macos-' || true
  printf '%s\n' "${targets[@]}" | grep '^macos-' || true)
docs=()
if [[ " ${targets[*]} " == *" $host "* ]]; then
  docs=(-C cmake.define.TARVO_DOCS_FROM="$work/build-$host/share")
elif [[ " ${targets[*]}" == *" macos-"* ]]; then
  echo "release-wheels: the docs, for macOS"
  quietly env TARVO_ZIG_DIR="$(zig_wrappers "$(uname -m)-linux-musl")" cmake -S "$tree" \
    -B "$work/build-docs" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$tree/cmake/zig-toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF "${ccache[@]/#/-D}"
  quietly env TARVO_ZIG_DIR="$(zig_wrappers "$(uname -m)-linux-musl")" \
    cmake --build "$work/build-docs" --target docs
  docs=(-C cmake.define.TARVO_DOCS_FROM="$work/build-docs/share")
fi

for target in "${targets[@]}"; do
  case $target in
  macos-*)
    arch=${target#macos-}
    zig_target=${zig_macos[$arch]}
    macos=${zig_target#*-macos.}
    tag=macosx_${macos//./_}_$arch
    options=("${docs[@]}")
    ;;
  *)
    arch=$target
    zig_target=$arch-linux-musl
    tag=manylinux_2_17_$arch.manylinux2014_$arch.musllinux_1_2_$arch
    options=()
    ;;
  esac
  echo "release-wheels: $target wheel ($zig_target)"
  start=$SECONDS
  TARVO_ZIG_DIR=$(zig_wrappers "$zig_target") quietly "$python" -m build --wheel --no-isolation \
    --outdir "$work/wheel-$target" "$tree" -C build-dir="$work/build-$target" \
    -C cmake.define.CMAKE_TOOLCHAIN_FILE="$tree/cmake/zig-toolchain.cmake" \
    -C install.strip=false "${ccache[@]/#/-Ccmake.define.}" "${options[@]}"
  # The backend names the wheel for the machine it ran on; the program inside decides its tags.
  quietly "$python" -m wheel tags --remove --platform-tag "$tag" "$work/wheel-$target"/*.whl
  wheel=$(echo "$work/wheel-$target"/*.whl)
  mv "$wheel" "$out/"
  echo "release-wheels: $(basename "$wheel") in $((SECONDS - start)) s"
done
