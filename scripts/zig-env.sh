# Sourced by the scripts that build with the release toolchain (release-wheels.sh,
# cross-check.sh), with $source set to the clone: sets cache (tarvo's cache folder, $TARVO_CACHE
# or ~/.cache/tarvo), python and zig (the toolchain's, scripts/release-toolchain.sh) and
# ZIG_GLOBAL_CACHE_DIR, and defines zig_wrappers and zig_ccache.

cache=${TARVO_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tarvo}
tools=$("$source/scripts/release-toolchain.sh")
python=$tools/bin/python
zig=$("$python" -c 'import os, ziglang; print(os.path.dirname(ziglang.__file__))')/zig
export ZIG_GLOBAL_CACHE_DIR=$cache/zig-cache

# The zig target of each macOS release: the oldest macOS that zig's C library serves for the
# architecture (arm64 Macs began with macOS 11), or 10.13 where it reaches further back.
declare -A zig_macos=([arm64]=aarch64-macos.11.0 [x86_64]=x86_64-macos.10.13)

# zig_wrappers TARGET: prints the folder of wrappers through which CMake and ccache run zig for
# one target, named after it, beside a link to zig (cmake/zig-toolchain.cmake reads it). Their
# text names zig and the target, so that ccache (which hashes it) never mixes targets or zig
# versions; they are rewritten only when that text changes.
zig_wrappers() {
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

# zig_ccache BASEDIR: when ccache is installed, sets the environment under which it serves the
# builds below BASEDIR from tarvo's cache folder (paths taken relative to BASEDIR, so that a
# compile hits the cache of any earlier run wherever BASEDIR was) and returns 0; else 1.
zig_ccache() {
  command -v ccache >/dev/null || return 1
  export CCACHE_DIR=$cache/ccache CCACHE_BASEDIR=$1 CCACHE_NOHASHDIR=1
  export CCACHE_COMPILERTYPE=clang CCACHE_COMPILERCHECK=content CCACHE_MAXSIZE=2G
}
