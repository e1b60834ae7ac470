#!/usr/bin/env bash
# scripts/cross-check.sh [NAME]...
#
# Compiles every source file of tarvo and links its programs (tarvo and the docs generator) with
# zig for systems this machine cannot run, and checks the link line of an Apple build; every
# check when none is named:
#   aarch64-macos, x86_64-macos, x86_64-freebsd
#                  the release toolchain's zig: macOS on arm64 and x86_64 (at the deployment
#                  targets of the release wheels) and FreeBSD 14 on x86_64
#   aarch64-macos-llvm17
#                  macOS on arm64 with zig 0.12, whose clang and libc++ are LLVM 17's (installed
#                  once beside the release toolchain): a library feature newer than the compilers
#                  of macOS and FreeBSD users (std::jthread) fails here. The unit and cli tests
#                  are compiled and linked too, against GoogleTest compiled from Debian's sources
#   apple-link     the link lines (and one compile line) that CMake gives the programs of an
#                  Apple build (those of aarch64-macos-llvm17, built first), each run through
#                  clang drivers for arm64-apple-macos11 with -### (nothing is linked): Debian's
#                  clang and zig's, whose LLVM 20 refuses, as Apple's clang does, what a Mac's
#                  linker does not take (-static-libgcc); fails on "unsupported option",
#                  "unknown argument" or any other error or warning
# Prints per target how many source files failed to compile, then `file` of each program;
# fails if a file failed to compile, a program to link, or a driver took offence. Nothing is
# run: that takes a runner of the system (.github/workflows/macos.yml).
#
# Each target is a preset of CMakePresets.json (cross-NAME), whose build folder stays in
# build-cross/ of the clone, and zig's and ccache's caches in tarvo's cache folder, so a second
# run only compiles what changed. Jobs: $JOBS, or one per core.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
all=(aarch64-macos x86_64-macos x86_64-freebsd aarch64-macos-llvm17 apple-link)
names=("$@")
[ ${#names[@]} -gt 0 ] || names=("${all[@]}")
for name in "${names[@]}"; do
  [[ " ${all[*]} " == *" $name "* ]] || {
    echo "cross-check: unknown target '$name' (${all[*]})" >&2
    exit 2
  }
done

# compile NAME: configures the preset cross-NAME and builds its programs (and, for
# aarch64-macos-llvm17, those of the unit and cli tests) in build-cross/NAME/.
compile() {
  local name=$1 preset=cross-$1 build=$source/build-cross/$1 target log start objects built
  local broken compiled warnings
  target=$(basename "$(preset_environment "$preset" TARVO_ZIG_DIR)")
  log=$build/cross-check.log
  start=$SECONDS
  mkdir -p "$build"
  if ! configure_preset "$preset" >"$log" 2>&1; then
    cat "$log" >&2
    return 1
  fi
  local targets=(tarvo generate_docs) parts='tarvo_core|tarvo|generate_docs'
  if [ "$name" = aarch64-macos-llvm17 ]; then
    targets+=(unit_tests cli_tests)
    parts="$parts|unit_tests|cli_tests|tarvo_test_support|tarvo_gtest|tarvo_gtest_main"
  fi
  objects=$(ninja -C "$build" -t targets all | grep -cE "^[^:]*/($parts)\.dir/[^:]*\.o: ")
  built=0
  ninja -C "$build" -k 0 -j "$jobs" "${targets[@]}" >>"$log" 2>&1 || built=$?
  broken=$(grep -c '^FAILED: .*\.o *$' "$log" || true)
  compiled=$(grep -c 'Building CXX object' "$log" || true)
  warnings=$(grep -c ': warning: ' "$log" || true)
  echo "cross-check: $name ($target): $broken of $objects source files failed to compile" \
    "($compiled compiled now, $warnings warnings), $((SECONDS - start)) s"
  if [ "$built" != 0 ]; then
    grep -E ': (error|warning): |^FAILED: |error: ' "$log" | head -n 40 >&2
    echo "cross-check: $name: the build failed (all of it in $log)" >&2
    return 1
  fi
  [ "$warnings" = 0 ] || grep ': warning: ' "$log" | sort -u | head -n 20 >&2
  local program
  for program in tarvo generate_docs ${targets[2]:+tests/unit_tests tests/cli_tests}; do
    echo "  $program: $(file -b "$build/$program" | sed "s/, flags:.*//")"
  done
}

# apple_link: the aarch64-macos-llvm17 build's link lines of tarvo, generate_docs and the unit
# and cli tests and the compile line of main.cpp, with zig's wrapper (and ccache) in front replaced by
# each clang driver.
apple_link() {
  local build=$source/build-cross/aarch64-macos-llvm17 start=$SECONDS
  compile aarch64-macos-llvm17 >/dev/null || return 1
  use_zig
  local drivers=("$zig clang --driver-mode=g++") triple=arm64-apple-macos11 failed=0
  # Apple's clang takes libc++ by default; Debian's is told to.
  if command -v clang++ >/dev/null; then
    drivers+=("clang++ -stdlib=libc++")
  else
    echo "cross-check: apple-link: no clang++ here (scripts/install.sh installs it): zig's alone" >&2
  fi
  # What a driver says about its own command line: "clang: error: unknown argument: ...".
  local complaint='^[^ ]+: (error|warning): '
  local step line arguments driver out status
  for step in tarvo generate_docs tests/unit_tests tests/cli_tests \
    CMakeFiles/tarvo.dir/src/tarvo/main.cpp.o; do
    line=$(ninja -C "$build" -t commands "$step" | tail -n 1)
    # ": && COMPILER ARGUMENTS && :" for a link, "[ccache] COMPILER ARGUMENTS" for a compile.
    arguments=${line#: && }
    arguments=${arguments% && :}
    arguments=${arguments#ccache }
    arguments=${arguments#* }
    [ "$step" != tarvo ] || echo "  the link line of tarvo: $arguments"
    for driver in "${drivers[@]}"; do
      status=0
      out=$(cd "$build" && eval "$driver -target $triple -### $arguments" 2>&1) || status=$?
      if [ "$status" != 0 ] || grep -qE "$complaint" <<<"$out"; then
        echo "cross-check: apple-link: ${driver##*/} takes offence at the line of $step" \
          "(status $status):" >&2
        grep -E "$complaint" <<<"$out" >&2 || true
        failed=1
      fi
    done
  done
  echo "cross-check: apple-link ($triple): the lines of tarvo, generate_docs, the" \
    "tests and main.cpp" \
    "through ${#drivers[@]} clang drivers: $([ "$failed" = 0 ] && echo taken || echo REFUSED)," \
    "$((SECONDS - start)) s"
  return "$failed"
}

failed=0
for name in "${names[@]}"; do
  if [ "$name" = apple-link ]; then
    apple_link || failed=1
  else
    compile "$name" || failed=1
  fi
done
exit "$failed"
