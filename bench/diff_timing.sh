#!/usr/bin/env bash
# diff_timing.sh BUILD_DIR [SIZES...] (default 10000 100000 1000000): wall time of
#  - `tarvo config-diff --workflow` on a workflow of N lines that differs from the template
#    throughout, next to `diff -u` of the same two files;
#  - the diff itself (bench_diff) of two N-line files that differ throughout, hold the same
#    lines shuffled (the search's worst case), or differ in every hundredth line, next to diff -u.
set -euo pipefail
build=$(realpath "$1")
shift
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(10000 100000 1000000)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The best of three runs, in milliseconds.
ms() {
  local best=
  for _ in 1 2 3; do
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1 || true
    end=$(date +%s%N)
    local took=$(((end - start) / 1000000))
    [ -n "$best" ] && [ "$best" -le "$took" ] || best=$took
  done
  echo "$best ms"
}
cd "$work"
mkdir -p .github/workflows
printf '[project]\nname = "demo"\nlicense = "MIT"\nrequires-python = ">=3.11"\n' >pyproject.toml
# The template as config-diff renders it: the added lines of a diff against an empty workflow.
: >.github/workflows/build.yml
{ "$build/tarvo" config-diff --workflow 2>&1 >/dev/null || true; } | sed -n '/^@@/,$ s/^+//p' >template.yml
for n in "${sizes[@]}"; do
  seq -f 'workflow line %.0f' "$n" >.github/workflows/build.yml
  echo "config-diff --workflow, $n lines: tarvo $(ms "$build/tarvo" config-diff --workflow)," \
    "diff -u $(ms diff -u .github/workflows/build.yml template.yml)"
  seq -f 'a %.0f' "$n" >a
  seq -f 'b %.0f' "$n" >throughout
  shuf --random-source=<(yes) a >shuffled
  awk '{ print (NR % 100 == 0) ? "changed " NR : $0 }' a >sparse
  for case in throughout shuffled sparse; do
    echo "$n lines, $case: tarvo $(ms "$build/bench/bench_diff" a "$case")," \
      "diff -u $(ms diff -u a "$case")"
  done
done
