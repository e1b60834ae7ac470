#!/usr/bin/env bash
# release_timing.sh A B [RUNS]: two builds of tarvo (say the static musl release program and a
# glibc one) timed against each other where the C library and the linking show, with the
# workplace's farm-bench (A and B in turn, the ratio taken pair by pair; RUNS pairs, default 20):
#  - start-up: 1,000 runs of `--version` in a loop, next to 1,000 of /bin/true;
#  - a lint run: `tarvo lint` in a project whose environment and five checks are stand-ins that
#    end at once (tests/stubs), so that what is timed is tarvo starting and waiting for them;
#  - config-diff --workflow of a workflow of 100,000 and of 1,000,000 lines that differs from
#    the template throughout (reading, memory allocation and the diff).
# Prints the median wall time of A and B and the median of the ratios A/B.
set -euo pipefail
a=$(realpath "$1")
b=$(realpath "$2")
runs=${3:-20}
stubs=$(realpath "$(dirname "$0")/../tests/stubs")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

compare() {
  local what=$1
  shift
  farm-bench -n "$runs" --warmup 2 --timeout 1800 "$@" >"$work/report" 2>&1
  local wall_a wall_b ratio
  wall_a=$(awk '$1 == "A" && $2 == "wall" { print $5 }' "$work/report")
  wall_b=$(awk '$1 == "B" && $2 == "wall" { print $5 }' "$work/report")
  ratio=$(awk '$1 == "A/B" && $2 == "wall" { print $4 }' "$work/report")
  printf '%-44s A %8s s   B %8s s   A/B %s\n' "$what" "$wall_a" "$wall_b" "$ratio"
}

loop() { echo "for i in \$(seq 1000); do $* >/dev/null; done"; }
true_loop="sh -c '$(loop /bin/true)'"
compare "start-up, 1000 x --version (A)" --vs "$true_loop" -- sh -c "$(loop "$a" --version)"
compare "start-up, 1000 x --version (B)" --vs "$true_loop" -- sh -c "$(loop "$b" --version)"
compare "start-up, 1000 x --version, A against B" --vs "sh -c '$(loop "$b" --version)'" -- \
  sh -c "$(loop "$a" --version)"

mkdir -p "$work/tools" "$work/lint"
for check in ruff basedpyright dodgy pyroma tarvo; do
  printf '#!/bin/sh\nexit 0\n' >"$work/tools/$check"
  chmod +x "$work/tools/$check"
done
printf '[project]\nname = "demo"\n' >"$work/lint/pyproject.toml"
export PATH="$work/tools:$stubs:$PATH" STUB_TOOLS="$work/tools"
"$a" -C "$work/lint" lint >/dev/null 2>&1 || true # makes .venv once, through the stand-ins
compare "lint, five checks that end at once" --vs "$b -C $work/lint lint" -- \
  "$a" -C "$work/lint" lint

mkdir -p "$work/diff/.github/workflows"
printf '[project]\nname = "demo"\nlicense = "MIT"\nrequires-python = ">=3.11"\n' \
  >"$work/diff/pyproject.toml"
for lines in 100000 1000000; do
  seq -f 'workflow line %.0f' "$lines" >"$work/diff/.github/workflows/build.yml"
  compare "config-diff --workflow, $lines lines" --vs "$b -C $work/diff config-diff --workflow" -- \
    "$a" -C "$work/diff" config-diff --workflow
done
