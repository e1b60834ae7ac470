#!/usr/bin/env bash
# scripts/cross-check.sh [aarch64-macos|x86_64-macos|x86_64-freebsd]...
#
# Compiles every source file of tarvo and links its programs (tarvo and the docs generator) with
# the release toolchain's zig for systems this machine cannot run: macOS on arm64 and x86_64 (at
# the deployment targets of the release wheels) and FreeBSD 14 on x86_64; all three when none is
# named. Prints per target how many source files failed to compile, then `file` of each program;
# fails if a file failed to compile or a program to link. Nothing is run: that takes a runner of
# the system (.github/workflows/macos.yml).
#
# Each target is a preset of CMakePresets.json (cross-NAME), whose build folder stays in
# build-cross/ of the clone, and zig's and ccache's caches in tarvo's cache folder, so a second
# run only compiles what changed. Jobs: $JOBS, or one per core.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
names=("$@")
[ ${#names[@]} -gt 0 ] || names=(aarch64-macos x86_64-macos x86_64-freebsd)
for name in "${names[@]}"; do
  case $name in
  aarch64-macos | x86_64-macos | x86_64-freebsd) ;;
  *)
    echo "cross-check: unknown target '$name' (aarch64-macos, x86_64-macos, x86_64-freebsd)" >&2
    exit 2
    ;;
  esac
done

failed=0
for name in "${names[@]}"; do
  preset=cross-$name
  build=$source/build-cross/$name
  target=$(basename "$(preset_environment "$preset" TARVO_ZIG_DIR)")
  log=$build/cross-check.log
  start=$SECONDS
  mkdir -p "$build"
  if ! configure_preset "$preset" >"$log" 2>&1; then
    cat "$log" >&2
    failed=1
    continue
  fi
  objects=$(ninja -C "$build" -t targets all | grep -c '\.o: ')
  built=0
  ninja -C "$build" -k 0 -j "$jobs" tarvo generate_docs >>"$log" 2>&1 || built=$?
  broken=$(grep -c '^FAILED: .*\.o *$' "$log" || true)
  compiled=$(grep -c 'Building CXX object' "$log" || true)
  warnings=$(grep -c ': warning: ' "$log" || true)
  echo "cross-check: $name ($target): $broken of $objects source files failed to compile" \
    "($compiled compiled now, $warnings warnings), $((SECONDS - start)) s"
  if [ "$built" != 0 ]; then
    grep -E ': (error|warning): |^FAILED: |error: ' "$log" | head -n 40 >&2
    echo "cross-check: $name: the build failed (all of it in $log)" >&2
    failed=1
    continue
  fi
  [ "$warnings" = 0 ] || grep ': warning: ' "$log" | sort -u | head -n 20 >&2
  for program in tarvo generate_docs; do
    echo "  $program: $(file -b "$build/$program" | sed "s/, flags:.*//")"
  done
done
exit "$failed"
