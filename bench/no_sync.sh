#!/usr/bin/env bash
# no_sync.sh TARVO [RUNS]
# What `tarvo --no-sync` adds to the work itself, on a project fresh from `tarvo init` with one
# test, its .venv set up once: `test` next to pytest run directly, then whether a dependency added
# to pyproject.toml is installed by the next `--no-sync test`; `lint` next to the slowest of
# its five checks run alone, and next to all five started at once from a shell (on a few busy
# cores the five share them, whoever starts them); `build --wheel` next to the same `docker run`
# typed by hand. The two commands of a comparison run in turn, A B A B ..., so that the ratio,
# taken pair by pair, holds while the machine's speed drifts; medians are printed.
# Needs the offline wheels (scripts/fetch-wheels.sh) and, for the build, docker with the
# stand-in images (scripts/container-images.sh); without docker the build is left out.
set -euo pipefail
tarvo=$(realpath "$1")
runs=${2:-15}
root=$(cd "$(dirname "$0")/.." && pwd)
export PIP_NO_INDEX=1 PIP_FIND_LINKS=$root/.cache/wheels PIP_DISABLE_PIP_VERSION_CHECK=1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The lint's own check runs `tarvo config-diff` from PATH: the tarvo measured.
mkdir "$work/bin" "$work/demo"
ln -s "$tarvo" "$work/bin/tarvo"
export PATH=$work/bin:$PATH
cd "$work/demo"

printf 'MIT\n' | script -qec "tarvo init --name demo --description 'A demo.' \
  --author-name Ada --author-email ada@example.org" /dev/null >/dev/null
mkdir tests
printf 'import demo\n\n\ndef test_name():\n    assert demo.__name__ == "demo"\n' \
  >tests/test_demo.py
# Everything installed once: the lint tools and the project with its test and dev groups.
tarvo lint >/dev/null
tarvo test >/dev/null

# One run's wall time in seconds, its output thrown away.
wall() {
  local start end
  start=$(date +%s%N)
  bash -c "$1" >/dev/null 2>&1 || true
  end=$(date +%s%N)
  echo "$(((end - start) / 1000))e-6"
}

# The median of the numbers on standard input, one a line.
median() {
  sort -g | awk '{ v[NR] = $1 } END { print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# pairs A B: after a warm-up of each, A and B in turn $runs times; prints the median of each
# and the medians of A/B and A-B taken pair by pair.
pairs() {
  local i a b
  wall "$1" >/dev/null
  wall "$2" >/dev/null
  : >"$work/pairs"
  for ((i = 0; i < runs; i++)); do
    a=$(wall "$1")
    b=$(wall "$2")
    echo "$a $b" >>"$work/pairs"
  done
  printf 'A %s: %.3f s\n' "$1" "$(cut -d' ' -f1 "$work/pairs" | median)"
  printf 'B %s: %.3f s\n' "$2" "$(cut -d' ' -f2 "$work/pairs" | median)"
  printf 'A/B %.3f, A-B %+.3f s (medians of %d pairs)\n' \
    "$(awk '{ print $1 / $2 }' "$work/pairs" | median)" \
    "$(awk '{ print $1 - $2 }' "$work/pairs" | median)" "$runs"
}

echo "== tarvo --no-sync test, and pytest run directly"
pairs 'tarvo --no-sync test' '.venv/bin/python -m pytest -vv tests'

echo "== a dependency added to pyproject.toml: the next tarvo --no-sync test installs it"
sed -i 's/^dependencies = \[\]/dependencies = ["pathspec"]/' pyproject.toml
printf 'import pathspec\n\n\ndef test_dependency():\n    assert pathspec\n' >tests/test_dependency.py
tarvo --no-sync test 2>&1 | grep -E -e '^--no-sync' -e ' passed| failed|error'

echo "== tarvo --no-sync lint, and the slowest of its five checks alone"
checks=('.venv/bin/python -m ruff check' '.venv/bin/python -m basedpyright --project=pyproject.toml'
  '.venv/bin/python -m dodgy --zero-exit' '.venv/bin/python -m pyroma .' 'tarvo config-diff')
slowest=
slowest_time=0
for check in "${checks[@]}"; do
  wall "$check" >/dev/null
  elapsed=$(for ((i = 0; i < runs; i++)); do wall "$check"; done | median)
  printf 'alone %s: %.3f s\n' "$check" "$elapsed"
  if awk -v t="$elapsed" -v s="$slowest_time" 'BEGIN { exit !(t > s) }'; then
    slowest=$check
    slowest_time=$elapsed
  fi
done
pairs 'tarvo --no-sync lint' "$slowest"

echo "== tarvo --no-sync lint, and the five checks started at once from a shell"
for check in "${checks[@]}"; do
  printf '%s &\n' "$check"
done >"$work/at-once.sh"
echo wait >>"$work/at-once.sh"
pairs 'tarvo --no-sync lint' "sh $work/at-once.sh"

if ! docker info >/dev/null 2>&1; then
  echo "== no docker engine: build --wheel left out"
  exit 0
fi
# The docker command tarvo runs, recorded by a stand-in that passes it on, is replayed as a
# script of that one command: what a user would type by hand.
mkdir "$work/shim"
cat >"$work/shim/docker" <<SHIM
#!/bin/sh
[ "\$1" = run ] && printf '%s\0' "\$@" >"$work/docker-run"
exec $(command -v docker) "\$@"
SHIM
chmod +x "$work/shim/docker"
PATH=$work/shim:$PATH tarvo --no-sync build --wheel >/dev/null 2>&1
mapfile -d '' words <"$work/docker-run"
# tarvo takes the products out of the ended container and removes it; by hand, --rm.
{
  printf 'exec docker run --rm'
  printf ' %q' "${words[@]:1}"
  printf '\n'
} >"$work/by-hand.sh"
echo "== tarvo --no-sync build --wheel, and its docker run by hand"
runs=$((runs < 8 ? runs : 8))
pairs 'tarvo --no-sync build --wheel' "bash $work/by-hand.sh"
