#!/usr/bin/env bash
# scripts/release-wheels.sh OUTDIR [ARCH...]
#
# Writes tarvo's release files into OUTDIR: the sdist, and for each ARCH (x86_64, aarch64; both
# when none is named) one wheel that installs and runs on any Linux of that architecture, with
# glibc 2.17 or later or with musl. Its program is linked statically, with musl and zig's libc++,
# so it loads no shared library at all; the wheel is tagged for both kinds of C library
# (manylinux_2_17 and musllinux_1_2) and carries the program, the shell completions and the
# manual page. Each wheel is built from the sdist, which so proves that it holds every source.
#
# The toolchain (zig from PyPI, scripts/release-toolchain.sh), zig's builds of libc++ and
# ccache's objects stay in tarvo's cache folder ($TARVO_CACHE, or ~/.cache/tarvo), so later runs
# only compile what changed. Another architecture's docs generator runs under qemu-user
# (Debian's qemu-user-static).
set -euo pipefail
if [ $# -lt 1 ]; then
  echo "usage: $0 OUTDIR [x86_64|aarch64]..." >&2
  exit 2
fi
source=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1"
out=$(cd "$1" && pwd)
shift
arches=("$@")
[ ${#arches[@]} -gt 0 ] || arches=(x86_64 aarch64)
for arch in "${arches[@]}"; do
  case $arch in
  x86_64 | aarch64) ;;
  *)
    echo "release-wheels: unknown architecture '$arch' (x86_64 or aarch64)" >&2
    exit 2
    ;;
  esac
done

cache=${TARVO_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tarvo}
tools=$("$source/scripts/release-toolchain.sh")
python=$tools/bin/python
zig=$("$python" -c 'import os, ziglang; print(os.path.dirname(ziglang.__file__))')/zig
export ZIG_GLOBAL_CACHE_DIR=$cache/zig-cache
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

# The wrappers through which CMake and ccache run zig for one target, in a folder named after
# it, beside a link to zig. Their text names zig and the target, so that ccache (which hashes it)
# never mixes targets or zig versions; they are rewritten only when that text changes.
wrappers() {
  local dir=$cache/zig-wrappers/$1
  mkdir -p "$dir"
  ln -sfn "$zig" "$dir/zig"
  local tool line
  for tool in cc c++ ar ranlib; do
    case $tool in
    cc | c++) line="exec \"$zig\" $tool -target $1 -mcpu=baseline \"\$@\"" ;;
    *) line="exec \"$zig\" $tool \"\$@\"" ;;
    esac
    if [ "$(sed -n 2p "$dir/$tool" 2>/dev/null)" != "$line" ]; then
      printf '#!/bin/sh\n%s\n' "$line" >"$dir/$tool.new"
      chmod +x "$dir/$tool.new"
      mv "$dir/$tool.new" "$dir/$tool"
    fi
  done
  echo "$dir"
}

echo "release-wheels: sdist"
quietly "$python" -m build --sdist --no-isolation --outdir "$work/sdist" "$source"
sdist=$work/sdist/tarvo-$version.tar.gz
tar -xzf "$sdist" -C "$work"
tree=$work/tarvo-$version
cp "$sdist" "$out/"

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-C cmake.define.CMAKE_CXX_COMPILER_LAUNCHER=ccache)
  # The sources and the build folders lie side by side in $work, whose name changes from run to
  # run: with paths taken relative to it, a compile hits the cache of any earlier run.
  export CCACHE_DIR=$cache/ccache CCACHE_BASEDIR=$work CCACHE_NOHASHDIR=1
  export CCACHE_COMPILERTYPE=clang CCACHE_COMPILERCHECK=content CCACHE_MAXSIZE=2G
fi

for arch in "${arches[@]}"; do
  target=$arch-linux-musl
  tag=manylinux_2_17_$arch.manylinux2014_$arch.musllinux_1_2_$arch
  echo "release-wheels: $arch wheel ($target)"
  start=$SECONDS
  TARVO_ZIG_DIR=$(wrappers "$target") quietly "$python" -m build --wheel --no-isolation \
    --outdir "$work/wheel-$arch" "$tree" -C build-dir="$work/build-$arch" \
    -C cmake.define.CMAKE_TOOLCHAIN_FILE="$tree/cmake/zig-toolchain.cmake" \
    -C install.strip=false "${launcher[@]}"
  # The backend names the wheel for the machine it ran on; the program inside decides its tags.
  quietly "$python" -m wheel tags --remove --platform-tag "$tag" "$work/wheel-$arch"/*.whl
  wheel=$(echo "$work/wheel-$arch"/*.whl)
  mv "$wheel" "$out/"
  echo "release-wheels: $(basename "$wheel") in $((SECONDS - start)) s"
done
