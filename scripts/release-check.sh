#!/usr/bin/env bash
# scripts/release-check.sh DIST [ARCH...]
#
# Checks the release wheels that scripts/release-wheels.sh wrote into DIST, for each ARCH
# (default: every wheel there). auditwheel must confirm each platform tag of every wheel. The
# wheel of this machine's architecture is installed into a fresh virtual environment, where
# tarvo --version, init and config-diff must work and the completions, the manual page and the
# licences of what is compiled in must be present; the same program then runs in a Debian 11 root
# (glibc 2.31, scripts/debian11-root.sh) with chroot. The program of another architecture runs
# --version, init and config-diff under qemu-user. Needs root (or sudo) for chroot; pip runs
# offline when PIP_NO_INDEX is set.
set -euo pipefail
if [ $# -lt 1 ]; then
  echo "usage: $0 DIST [x86_64|aarch64]..." >&2
  exit 2
fi
source=$(cd "$(dirname "$0")/.." && pwd)
dist=$(cd "$1" && pwd)
shift
version=$(sed -n 's/^project(tarvo VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")
host=$(uname -m)
sudo=()
[ "$(id -u)" = 0 ] || sudo=(sudo)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tools=$("$source/scripts/release-toolchain.sh")

fail() {
  echo "release-check: $*" >&2
  exit 1
}
# Runs a command whose output must be exactly EXPECTED.
expect() {
  local expected=$1 got
  shift
  got=$("$@" 2>&1) || fail "$* failed: $got"
  [ "$got" = "$expected" ] || fail "$*: expected '$expected', got '$got'"
}
# tarvo init in a new folder, the command (with -C FOLDER) given as words; init asks for the one
# value missing here, the licence, through a terminal, and gets its answer as a person would.
init_project() {
  local command
  command=$(printf '%q ' "$@")
  printf 'MIT\n' | script -qec "$command init --name demo --description 'A demo.' \
    --author-name 'Ada Lovelace' --author-email ada@example.org" /dev/null >"$work/init.log" 2>&1 \
    || fail "$* init failed: $(cat "$work/init.log")"
}

wheels=()
if [ $# -gt 0 ]; then
  for arch in "$@"; do
    wheels+=("$dist/tarvo-$version-py3-none-"*"_$arch.whl")
  done
else
  wheels=("$dist"/tarvo-"$version"-*.whl)
fi

for wheel in "${wheels[@]}"; do
  [ -f "$wheel" ] || fail "no wheel $wheel"
  name=$(basename "$wheel" .whl)
  case $name in
  *_x86_64) arch=x86_64 ;;
  *_aarch64) arch=aarch64 ;;
  *) fail "$name: not a release wheel of x86_64 or aarch64" ;;
  esac
  # auditwheel reads one kind of C library per wheel: each tag is shown under a name of its own.
  tags=${name##*-}
  for tag in ${tags//./ }; do
    case $tag in manylinux20*) continue ;; esac # the legacy alias of manylinux_2_17
    single=$work/tags/tarvo-$version-py3-none-$tag.whl
    mkdir -p "$work/tags"
    cp "$wheel" "$single"
    shown=$("$tools/bin/auditwheel" show "$single" 2>&1) || fail "auditwheel show: $shown"
    policy=$(sed -n 's/.*consistent with the following platform tag: "\([^"]*\)".*/\1/p' \
      <<<"$(tr '\n' ' ' <<<"$shown")")
    # The tag must be no newer than the oldest platform that auditwheel finds the wheel fits.
    "$tools/bin/python" - "$tag" "$policy" <<'EOF' || fail "auditwheel: $tag but $shown"
import re, sys
tag, policy = sys.argv[1:]
def key(t):
    m = re.fullmatch(r"(manylinux|musllinux)_(\d+)_(\d+)_(\w+)", t)
    return m and (m[1], m[4]), m and (int(m[2]), int(m[3]))
(kind, at), (kind2, fits) = key(tag), key(policy)
sys.exit(0 if kind == kind2 and at >= fits else 1)
EOF
    rm "$single"
    echo "release-check: $tag: auditwheel finds $policy"
  done

  if [ "$arch" = "$host" ]; then
    python3 -m venv "$work/env"
    "$work/env/bin/pip" install --quiet --disable-pip-version-check "$wheel"
    tarvo=$work/env/bin/tarvo
    [ "$(head -c 4 "$tarvo")" = $'\x7fELF' ] || fail "$tarvo is not the native program"
    for doc in man/man1/tarvo.1 bash-completion/completions/tarvo zsh/site-functions/_tarvo \
      fish/vendor_completions.d/tarvo.fish; do
      [ -s "$work/env/share/$doc" ] || fail "the wheel did not install share/$doc"
    done
    for licence in fmt tomlplusplus zig libcxx libcxxabi libunwind musl; do
      [ -s "$work/env/share/doc/tarvo/licenses/$licence" ] || fail "no licence of $licence"
    done
    expect "tarvo $version" "$tarvo" --version
    mkdir "$work/project"
    init_project "$tarvo" -C "$work/project"
    expect "" "$tarvo" -C "$work/project" config-diff --workflow
    echo "release-check: $arch: installed with pip; --version, init and config-diff work"

    root=$("${sudo[@]}" "$source/scripts/debian11-root.sh")
    inside=$("${sudo[@]}" mktemp -d "$root/tmp/tarvo-check.XXXXXX")
    trap '"${sudo[@]}" rm -rf "$inside"; rm -rf "$work"' EXIT
    at=/tmp/$(basename "$inside")
    "${sudo[@]}" cp "$tarvo" "$inside/tarvo"
    "${sudo[@]}" mkdir "$inside/project"
    glibc=$("${sudo[@]}" chroot "$root" ldd --version | head -n 1)
    [[ $glibc == *" 2.31" ]] || fail "the Debian 11 root has $glibc"
    expect "tarvo $version" "${sudo[@]}" chroot "$root" "$at/tarvo" --version
    init_project "${sudo[@]}" chroot "$root" "$at/tarvo" -C "$at/project"
    expect "" "${sudo[@]}" chroot "$root" "$at/tarvo" -C "$at/project" config-diff --workflow
    echo "release-check: $arch: --version, init and config-diff work on Debian 11 ($glibc)"
  else
    unzip -q -o "$wheel" -d "$work/$arch"
    tarvo=$work/$arch/tarvo-$version.data/scripts/tarvo
    chmod +x "$tarvo"
    qemu=("qemu-$arch-static" "$tarvo")
    expect "tarvo $version" "${qemu[@]}" --version
    mkdir "$work/project-$arch"
    init_project "${qemu[@]}" -C "$work/project-$arch"
    expect "" "${qemu[@]}" -C "$work/project-$arch" config-diff --workflow
    echo "release-check: $arch: --version, init and config-diff work under qemu-$arch-static"
  fi
done
