#!/usr/bin/env bash
# scripts/release-checks.sh [NAME...]
#
# The release engineering checks, longer than the test suite (scripts/test.sh) and run by CI
# after it (.ci/run): each named, or all of them in the order below. Each builds its variant once
# (a preset of CMakePresets.json, with ccache) and runs offline, from what scripts/install.sh
# set up. After a failed check the others still run; a line per check says how it went and how
# long it took, and the run fails if one did.
#
#   package        pip builds tarvo's sdist into a wheel, which installs, runs and passes
#                  auditwheel; the workflows validate (ctest label package, in build/)
#   wheels         the release wheels of every target, made and checked as the release workflow
#                  does (ctest label release: scripts/release-wheels.sh, scripts/release-check.sh)
#   old-compilers  the sdist built by pip with g++ 10 in a Debian 11 root (ctest label
#                  old-compilers: scripts/debian11-sdist-check.sh)
#   stress         the interrupt cases, $TARVO_STRESS_RUNS times (default 20) beside a busy loop
#                  per core (ctest label stress)
#   cross          every source compiled and the programs linked for FreeBSD and macOS, for
#                  macOS also with LLVM 17's clang and libc++ (the unit and cli tests too), and
#                  the link lines of an Apple build through clang drivers
#                  (scripts/cross-check.sh); with the release zig for FreeBSD alone when wheels
#                  runs too, since the macOS wheels compile the same
#   portable       the labels unit, cli and python with the POSIX calls of macOS and the BSDs
#                  (preset portable, build-portable/)
#   hidden-linux   the labels unit and cli of the portable build where what macOS lacks is
#                  hidden: setsid and other programs, GNU's own options, /dev/full
#                  (scripts/hide-linux.sh, as root)
#   sanitize       the labels unit, cli and python under AddressSanitizer and
#                  UndefinedBehaviorSanitizer (preset sanitize, build-sanitize/)
#   fuzz           each libFuzzer target for $TARVO_FUZZ_SECONDS seconds (default 15), two at a
#                  time, seeded from the test vectors (preset fuzz, build-fuzz/)
set -euo pipefail
. "$(dirname "$0")/lib.sh"
all=(package wheels old-compilers stress cross portable hidden-linux sanitize fuzz)

usage() {
  sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"
}
names=()
for arg in "$@"; do
  case $arg in
  -h | --help)
    usage
    exit 0
    ;;
  --one) ;;
  *)
    [[ " ${all[*]} " == *" $arg "* ]] || {
      echo "release-checks: unknown check '$arg' (${all[*]}; --help says what each does)" >&2
      exit 2
    }
    names+=("$arg")
    ;;
  esac
done
[ ${#names[@]} -gt 0 ] || names=("${all[@]}")
# Whether this run checks NAME too (a check's own process is told by its caller).
[ "${1:-}" = --one ] || export TARVO_RELEASE_CHECKS="${names[*]}"
selected() { [[ " ${TARVO_RELEASE_CHECKS:-} " == *" $1 "* ]]; }

# The checks that run a label of the development build, in build/.
label() {
  build_preset default
  (cd "$source/build" && ctest --output-on-failure -L "^$1\$")
}

check_package() { label package; }
check_wheels() { label release; }
check_old-compilers() { label old-compilers; }
check_stress() { TARVO_STRESS_RUNS=${TARVO_STRESS_RUNS:-20} label stress; }

check_cross() {
  if selected wheels; then
    "$source/scripts/cross-check.sh" x86_64-freebsd aarch64-macos-llvm17 apple-link
  else
    "$source/scripts/cross-check.sh"
  fi
}

# tarvo's own wheel is built by pip with the default build (check package), so the variants
# leave its label out.
variant_tests=(tarvo docs unit_tests cli_tests python_tests no_pidfd)

check_portable() {
  build_preset portable "${variant_tests[@]}"
  (cd "$source/build-portable" && ctest --output-on-failure -j "$jobs" -L '^(unit|cli|python)$')
}

check_hidden-linux() {
  build_preset portable "${variant_tests[@]}"
  (cd "$source/build-portable" &&
    "$source/scripts/hide-linux.sh" ctest --output-on-failure -j "$jobs" -L '^(unit|cli)$')
}

check_sanitize() {
  build_preset sanitize "${variant_tests[@]}"
  # The pidfd_open shim is preloaded before the sanitizer runtime in some tests.
  (cd "$source/build-sanitize" &&
    ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=1 \
      UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      ctest --output-on-failure -j "$jobs" -L '^(unit|cli|python)$')
}

check_fuzz() {
  local seconds=${TARVO_FUZZ_SECONDS:-15} fuzz=$source/build-fuzz
  local targets=(version specifier marker requirement config)
  build_preset fuzz "${targets[@]/#/fuzz_}" >/dev/null
  python3 "$source/fuzz/seeds.py" "$fuzz/corpus"
  mkdir -p "$fuzz/crashes" "$fuzz/logs"
  # One target; its log keeps libFuzzer's report, and a failure shows the end of it.
  fuzz_one() {
    local status=0 log=$fuzz/logs/$1.log runs
    "$fuzz/fuzz/fuzz_$1" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -max_len=65536 -print_final_stats=1 -artifact_prefix="$fuzz/crashes/$1-" \
      "$fuzz/corpus/$1" >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    if [ "$status" -ne 0 ]; then
      echo "fuzz $1: FAILED after ${runs:-?} executions"
      grep -E -A12 'ERROR|runtime error|input:' "$log" | head -n 30
      return 1
    fi
    echo "fuzz $1: ${runs} executions in ${seconds} s, no failure"
  }
  export -f fuzz_one
  export fuzz seconds
  printf '%s\n' "${targets[@]}" | xargs -P "$jobs" -I{} bash -c 'fuzz_one {}'
}

# Each check runs in a process of its own, where a failed step ends it (set -e holds).
if [ "${1:-}" = --one ]; then
  "check_$2"
  exit 0
fi

failed=()
report=()
for name in "${names[@]}"; do
  echo "release-checks: $name"
  start=$SECONDS
  status=0
  "$0" --one "$name" || status=$?
  took=$((SECONDS - start))
  if [ "$status" = 0 ]; then
    report+=("$(printf '  %-14s passed  %5d s' "$name" "$took")")
  else
    report+=("$(printf '  %-14s FAILED  %5d s' "$name" "$took")")
    failed+=("$name")
  fi
  echo "release-checks: $name: $([ "$status" = 0 ] && echo passed || echo FAILED) in $took s"
done
echo "release-checks:"
printf '%s\n' "${report[@]}"
if [ ${#failed[@]} -gt 0 ]; then
  echo "release-checks: failed: ${failed[*]}" >&2
  exit 1
fi
