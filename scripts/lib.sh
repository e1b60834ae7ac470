# Sourced by the scripts (and tests/release/release_test.sh): the one place that knows tarvo's
# cache folder, the compiler launcher and how a build is configured. Sets
#   source  the clone
#   cache   tarvo's cache folder, shared by every clone: $TARVO_CACHE, or ~/.cache/tarvo
#           (exported as TARVO_CACHE, which the cross presets read)
#   jobs    how many compiles at once: $JOBS, or one per core
# and defines configure_preset, build_preset, use_zig, zig_wrappers and zig_ccache. The build variants
# themselves are CMake presets (CMakePresets.json).

source=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cache=${TARVO_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tarvo}
export TARVO_CACHE=$cache
jobs=${JOBS:-$(nproc)}

# preset_environment PRESET NAME: the value that the configure preset PRESET gives the
# environment variable NAME (as CMake prints it), or nothing.
preset_environment() {
  (cd "$source" && cmake --preset "$1" -N) \
    | sed -n "s/^  $2=\"\(.*\)\"\$/\1/p"
}

# configure_preset PRESET [CMAKE-ARGUMENT...]: configures the build of a preset of CMakePresets.json,
# with ccache as the compiler launcher where it is installed. A zig preset (a release or cross
# target) first gets the toolchain, its wrappers and ccache's settings for it (use_zig); its
# environment names the wrappers (TARVO_ZIG_DIR) and, for another zig than the release's, the
# version (TARVO_ZIG_VERSION).
# CMake's own output is shown only if it fails.
configure_preset() {
  local preset=$1 zig_dir version log
  shift
  local launcher=()
  zig_dir=$(preset_environment "$preset" TARVO_ZIG_DIR)
  if [ -n "$zig_dir" ]; then
    version=$(preset_environment "$preset" TARVO_ZIG_VERSION)
    use_zig $version
    if [ "$(zig_wrappers "$(basename "$zig_dir")" $version)" != "$zig_dir" ]; then
      echo "configure: the preset $preset names the zig wrappers $zig_dir, which lib.sh makes" \
        "elsewhere" >&2
      return 1
    fi
    zig_ccache "$source" && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  elif command -v ccache >/dev/null; then
    # Paths taken relative to the clone, so that a build in another clone (CI's) hits the
    # objects of this one.
    export CCACHE_BASEDIR=$source CCACHE_NOHASHDIR=1
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  fi
  log=$(mktemp)
  (cd "$source" && cmake --preset "$preset" "${launcher[@]}" "$@") >"$log" 2>&1 || {
    cat "$log" >&2
    rm -f "$log"
    echo "configure: CMake could not configure the preset $preset" >&2
    return 1
  }
  rm -f "$log"
}

# build_preset PRESET [TARGET...]: configures the preset and builds the targets named (all of them when
# none is), $jobs at a time.
build_preset() {
  local preset=$1
  shift
  configure_preset "$preset"
  local targets=()
  [ $# -eq 0 ] || targets=(--target "$@")
  (cd "$source" && cmake --build --preset "$preset" -j "$jobs" "${targets[@]}")
}

# use_zig [VERSION]: the release toolchain (zig from PyPI, scripts/release-toolchain.sh,
# installed once), or an environment of zig VERSION alone. Sets tools (its environment), python
# and zig, and zig's cache folder in tarvo's (one per zig).
use_zig() {
  local version=${1:-}
  [ -z "${zig:-}" ] || [ "$zig_version" != "$version" ] || return 0
  tools=$("$source/scripts/release-toolchain.sh" ${version:+--zig "$version"})
  python=$tools/bin/python
  zig=$("$python" -c 'import os, ziglang; print(os.path.dirname(ziglang.__file__))')/zig
  zig_version=$version
  export ZIG_GLOBAL_CACHE_DIR=$cache/zig-cache${version:+-$version}
}

# The zig target of each macOS release: the oldest macOS that zig's C library serves for the
# architecture (arm64 Macs began with macOS 11), or 10.13 where it reaches further back. The
# cross presets name the same targets.
declare -A zig_macos=([arm64]=aarch64-macos.11.0 [x86_64]=x86_64-macos.10.13)

# zig_wrappers TARGET [ZIG-VERSION]: prints the folder of wrappers through which CMake and ccache
# run zig (the release's, or that version) for one target, named after it, beside a link to zig
# (cmake/zig-toolchain.cmake reads it as TARVO_ZIG_DIR). Their text names zig and the target, so
# that ccache (which hashes it) never mixes targets or zig versions; they are rewritten only when
# that text changes.
zig_wrappers() {
  use_zig "${2:-}"
  local dir=$cache/zig-wrappers${2:+-$2}/$1
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
# zig builds below BASEDIR from tarvo's cache folder (paths taken relative to BASEDIR, so that a
# compile hits the cache of any earlier run wherever BASEDIR was) and returns 0; else 1.
zig_ccache() {
  command -v ccache >/dev/null || return 1
  export CCACHE_DIR=$cache/ccache CCACHE_BASEDIR=$1 CCACHE_NOHASHDIR=1
  export CCACHE_COMPILERTYPE=clang CCACHE_COMPILERCHECK=content CCACHE_MAXSIZE=2G
}
