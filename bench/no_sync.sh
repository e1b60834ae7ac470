#!/usr/bin/env bash
# no_sync.sh TARVO [RUNS]
# What `tarvo --no-sync` adds to the work itself, on a project fresh from `tarvo init` with one
# test, its .venv set up once: `test` next to pytest run directly, `lint` next to each of its
# five checks run alone, and `build --wheel` next to the same `docker run` typed by hand.
# Needs hyperfine, the offline wheels (scripts/fetch-wheels.sh) and, for the build, docker with
# the stand-in images (scripts/container-images.sh); without docker the build is left out.
set -euo pipefail
tarvo=$(realpath "$1")
runs=${2:-20}
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

echo "== tarvo --no-sync test, and pytest run directly"
hyperfine -N --warmup 3 --runs "$runs" 'tarvo --no-sync test' \
  '.venv/bin/python -m pytest -vv tests'

echo "== tarvo --no-sync lint, and each of its five checks alone"
hyperfine -N --warmup 2 --runs "$runs" -i 'tarvo --no-sync lint' \
  '.venv/bin/python -m ruff check' '.venv/bin/python -m basedpyright --project=pyproject.toml' \
  '.venv/bin/python -m dodgy --zero-exit' '.venv/bin/python -m pyroma .' 'tarvo config-diff'

if ! docker info >/dev/null 2>&1; then
  echo "== no docker engine: build --wheel left out"
  exit 0
fi
# The docker command tarvo runs, recorded by a stand-in that passes it on, is replayed as a
# script of that one command: what a user would type by hand.
mkdir "$work/shim"
cat >"$work/shim/docker" <<EOF
#!/bin/sh
[ "\$1" = run ] && printf '%s\0' "\$@" >"$work/docker-run"
exec $(command -v docker) "\$@"
EOF
chmod +x "$work/shim/docker"
PATH=$work/shim:$PATH tarvo --no-sync build --wheel >/dev/null
mapfile -d '' words <"$work/docker-run"
{
  printf 'exec docker'
  printf ' %q' "${words[@]}"
  printf '\n'
} >"$work/by-hand.sh"
echo "== tarvo --no-sync build --wheel, and its docker run by hand"
hyperfine -N --warmup 1 --runs "$((runs < 10 ? runs : 10))" 'tarvo --no-sync build --wheel' \
  "bash $work/by-hand.sh"
