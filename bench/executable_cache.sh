#!/usr/bin/env bash
# bench/executable_cache.sh TARVO [copy]
# The cache volume at work: `tarvo --no-sync build --executable --no-compress` of a small
# package twice, the first with the target's cache volume removed beforehand (pip's and
# ccache's caches empty), the second of the unchanged project; prints both times and their
# ratio. With "copy", both run in copy mode (TARVO_CONTAINER_COPY=1), where nothing of the
# first build's build/ reaches the second. Needs the docker engine and the stand-in images.
set -euo pipefail
tarvo=$(realpath "$1")
[ "${2:-}" = copy ] && export TARVO_CONTAINER_COPY=1
proj=$(mktemp -d)
trap 'rm -rf "$proj"' EXIT
mkdir -p "$proj/greet"
printf '[project]\nname = "greet"\nversion = "1.0"\n' >"$proj/pyproject.toml"
touch "$proj/greet/__init__.py"
echo "print('hello from greet')" >"$proj/greet/__main__.py"
python3 -m venv "$proj/.venv"
cd "$proj"
docker volume rm tarvo-cache-$(uname -m)-glibc-3.11 >/dev/null 2>&1 || true
seconds() { local start end; start=$(date +%s%N)
  "$@" >"$proj/.log" 2>&1 || { tail -n 20 "$proj/.log"; exit 1; }
  end=$(date +%s%N); awk -v ns=$((end - start)) 'BEGIN { printf "%.1f\n", ns / 1e9 }'; }
first=$(seconds "$tarvo" --no-sync build --executable --no-compress)
second=$(seconds "$tarvo" --no-sync build --executable --no-compress)
dist/greet-*-glibc >/dev/null
echo "first $first s, second $second s, ratio" \
  "$(awk -v a="$first" -v b="$second" 'BEGIN { printf "%.2f\n", b / a }')"
