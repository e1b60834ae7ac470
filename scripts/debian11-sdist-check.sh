#!/usr/bin/env bash
# scripts/debian11-sdist-check.sh [g++|clang++]...
#
# Shows that tarvo's sdist builds with older compilers: makes the sdist here, then in the
# Debian 11 root (scripts/debian11-root.sh: glibc 2.31, Python 3.9, pip 20.3) installs it with
# pip into a fresh virtual environment, once for each compiler named (default g++, which is
# g++ 10 there; clang++ is clang 11, after scripts/debian11-root.sh clang), and runs tarvo
# --version, init in a new folder and config-diff there. Runs offline: scripts/install.sh puts
# g++ and python3-venv into the root and fetches the wheels of the build backend, CMake and
# Ninja (.cache/wheels/debian11).
# Needs root (or sudo) for chroot.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
[ "$(id -u)" = 0 ] || exec sudo TARVO_CACHE="$cache" "$0" "$@"
compilers=("$@")
[ ${#compilers[@]} -gt 0 ] || compilers=(g++)
root=$cache/debian11-root
wheels=$source/.cache/wheels/debian11
version=$(sed -n 's/^project(tarvo VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")

fail() {
  echo "debian11-sdist-check: $*" >&2
  exit 1
}
[ -f "$root.complete" ] && [ -f "$wheels/.complete-v1" ] \
  || fail "no Debian 11 root in $cache or no wheels in $wheels: run scripts/install.sh first"
for cxx in "${compilers[@]}"; do
  chroot "$root" sh -c "command -v '$cxx'" >/dev/null && chroot "$root" dpkg-query -W python3-venv \
    >/dev/null 2>&1 || fail "no $cxx or python3-venv in the Debian 11 root: run scripts/install.sh"
done

inside=$(mktemp -d "$root/tmp/tarvo-sdist.XXXXXX")
trap 'rm -rf "$inside"' EXIT
at=/tmp/$(basename "$inside")
# Inside, only what is set here: nothing of the caller's environment reaches pip or the build.
in_root() {
  chroot "$root" env -i PATH=/usr/bin:/bin HOME=/root LANG=C.UTF-8 PIP_NO_INDEX=1 \
    PIP_FIND_LINKS="$at/wheels" PIP_NO_CACHE_DIR=1 PIP_DISABLE_PIP_VERSION_CHECK=1 \
    CMAKE_BUILD_PARALLEL_LEVEL="$(nproc)" "$@"
}
# Runs a command in the root whose output must be exactly EXPECTED.
expect() {
  local expected=$1 got
  shift
  got=$(in_root "$@" 2>&1 </dev/null) || fail "$* failed: $got"
  [ "$got" = "$expected" ] || fail "$*: expected '$expected', got '$got'"
}

tools=$("$source/scripts/release-toolchain.sh")
"$tools/bin/python" -m build --sdist --no-isolation --outdir "$inside" "$source" \
  >"$inside/sdist.log" 2>&1 || fail "the sdist: $(cat "$inside/sdist.log")"
cp -r "$wheels" "$inside/wheels"
sdist=$at/tarvo-$version.tar.gz

for cxx in "${compilers[@]}"; do
  env=$at/env-$cxx
  log=$inside/pip-$cxx.log
  in_root python3 -m venv "$env" || fail "python3 -m venv failed"
  start=$SECONDS
  in_root CXX="$cxx" "$env/bin/pip" install -v "$sdist" >"$log" 2>&1 \
    || fail "pip install with $cxx failed: $(cat "$log")"
  compiler=$(sed -n 's/.*The CXX compiler identification is //p' "$log")
  echo "debian11-sdist-check: $cxx ($compiler): pip built and installed the sdist in" \
    "$((SECONDS - start)) s"
  grep -A 3 'warning:' "$log" >&2 || true
  expect "tarvo $version" "$env/bin/tarvo" --version
  mkdir "$inside/project-$cxx"
  expect "" "$env/bin/tarvo" -C "$at/project-$cxx" init --name demo --description 'A demo.' \
    --author-name 'Ada Lovelace' --author-email ada@example.org --license MIT
  [ -f "$inside/project-$cxx/pyproject.toml" ] || fail "init made no pyproject.toml"
  expect "" "$env/bin/tarvo" -C "$at/project-$cxx" config-diff
  expect "" "$env/bin/tarvo" -C "$at/project-$cxx" config-diff --workflow
  echo "debian11-sdist-check: $cxx: --version, init and config-diff work on Debian 11"
done
