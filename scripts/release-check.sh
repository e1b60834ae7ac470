#!/usr/bin/env bash
# scripts/release-check.sh DIST [x86_64|aarch64|macos-arm64|macos-x86_64]...
#
# Checks the release wheels that scripts/release-wheels.sh wrote into DIST, for each target named
# (default: every wheel there). auditwheel must confirm each platform tag of every Linux wheel. The
# wheel of this machine's architecture is installed into a fresh virtual environment, where
# tarvo --version, init and config-diff must work and the completions, the manual page and the
# licences of what is compiled in must be present; the same program then runs in a Debian 11 root
# (glibc 2.31, scripts/debian11-root.sh) with chroot. The program of another architecture runs
# --version, init and config-diff under qemu-user. Needs root (or sudo) for chroot; pip runs
# offline when PIP_NO_INDEX is set.
#
# A macOS wheel cannot run here: what is checked is what it holds. Its program must be a Mach-O
# executable of the tag's architecture, built for the tag's macOS version and loading no library
# but macOS's own C library, and the docs and licences must be there. It runs on macOS runners
# only (scripts/wheel-smoke.sh, .github/workflows/macos.yml).
set -euo pipefail
if [ $# -lt 1 ]; then
  echo "usage: $0 DIST [x86_64|aarch64|macos-arm64|macos-x86_64]..." >&2
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
  for target in "$@"; do
    case $target in
    macos-*) wheels+=("$dist/tarvo-$version-py3-none-macosx_"*"_${target#macos-}.whl") ;;
    *) wheels+=("$dist/tarvo-$version-py3-none-manylinux"*"_$target.whl") ;;
    esac
  done
else
  wheels=("$dist"/tarvo-"$version"-*.whl)
fi

# The macOS wheel WHEEL, by what it holds.
check_macos() {
  local wheel=$1 name files program described
  name=$(basename "$wheel" .whl)
  files=$work/macos/$name
  program=$files/tarvo-$version.data/scripts/tarvo
  mkdir -p "$files"
  unzip -q -o "$wheel" -d "$files"
  [ -f "$program" ] || fail "$name: no program tarvo"
  described=$(file -b "$program")
  [[ $described == "Mach-O 64-bit "*" executable"* ]] || fail "$name: the program is $described"
  "$tools/bin/python" - "$name" "$program" "$files/tarvo-$version.data/data/share" <<'EOF' ||
import os, re, struct, sys
name, program, share = sys.argv[1:]
tag_version, tag_arch = re.fullmatch(r".*-macosx_(\d+_\d+)_(\w+)", name).groups()
data = open(program, "rb").read()
magic, cputype, _, _, ncmds = struct.unpack_from("<IiiII", data)
problems = [] if magic == 0xFEEDFACF else ["not a 64-bit Mach-O file"]
arch = {0x01000007: "x86_64", 0x0100000C: "arm64"}.get(cputype)
if arch != tag_arch:
    problems.append(f"built for {arch}, tagged {tag_arch}")
minos, libraries, at = None, [], 32
for _ in range(ncmds):
    cmd, size = struct.unpack_from("<II", data, at)
    if cmd == 0x32:  # LC_BUILD_VERSION: the platform (1 is macOS) and its oldest version
        platform, version = struct.unpack_from("<II", data, at + 8)
        minos = f"{version >> 16}_{version >> 8 & 0xFF}" if platform == 1 else None
    elif cmd == 0x24:  # LC_VERSION_MIN_MACOSX, what a build for macOS before 10.14 carries
        version = struct.unpack_from("<I", data, at + 8)[0]
        minos = f"{version >> 16}_{version >> 8 & 0xFF}"
    elif cmd in (0xC, 0x80000018):  # LC_LOAD_DYLIB, LC_LOAD_WEAK_DYLIB
        offset = struct.unpack_from("<I", data, at + 8)[0]
        libraries.append(data[at + offset : at + size].split(b"\0")[0].decode())
    at += size
if minos != tag_version:
    problems.append(f"built for macOS {minos}, tagged {tag_version}")
if libraries != ["/usr/lib/libSystem.B.dylib"]:
    problems.append(f"loads {libraries}")
licences = ["fmt", "tomlplusplus", "zig", "libcxx", "libcxxabi"]
for doc in ["man/man1/tarvo.1", "bash-completion/completions/tarvo", "zsh/site-functions/_tarvo",
            "fish/vendor_completions.d/tarvo.fish"] + [f"doc/tarvo/licenses/{n}" for n in licences]:
    if not os.path.isfile(os.path.join(share, doc)) or not os.path.getsize(os.path.join(share, doc)):
        problems.append(f"no share/{doc}")
for problem in problems:
    print(f"release-check: {name}: {problem}", file=sys.stderr)
macos = minos and minos.replace("_", ".")
print(f"release-check: {name}: {arch}, macOS {macos} or later, loads {' '.join(libraries)}")
sys.exit(1 if problems else 0)
EOF
    fail "$name: not as built for its tag"
  echo "release-check: $name: ${described%%, flags*}; docs and licences present" \
    "(it runs on macOS only)"
}

for wheel in "${wheels[@]}"; do
  [ -f "$wheel" ] || fail "no wheel $wheel"
  name=$(basename "$wheel" .whl)
  case $name in
  *-macosx_*)
    check_macos "$wheel"
    continue
    ;;
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
