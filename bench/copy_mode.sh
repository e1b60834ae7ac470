#!/usr/bin/env bash
# bench/copy_mode.sh TARVO [PAIRS]
# What copy mode costs over the bind mount: `tarvo --no-sync build --wheel` in a small hatchling
# project, the mounted run and the copied run (TARVO_CONTAINER_COPY=1) in turn, PAIRS pairs
# (default 7); prints each pair and the medians. Needs the docker engine and the stand-in
# images (scripts/container-images.sh); the project's .venv is plain python -m venv.
set -euo pipefail
tarvo=$(realpath "$1")
pairs=${2:-7}
proj=$(mktemp -d)
trap 'rm -rf "$proj"' EXIT
mkdir -p "$proj/hello"
cat >"$proj/pyproject.toml" <<'TOML'
[build-system]
requires = ["hatchling"]
build-backend = "hatchling.build"

[project]
name = "hello"
version = "1.0"

[tool.hatch.build.targets.wheel]
packages = ["hello"]
TOML
touch "$proj/hello/__init__.py"
python3 -m venv "$proj/.venv"
cd "$proj"
seconds() { local start end; start=$(date +%s%N); "$@" >/dev/null 2>&1; end=$(date +%s%N)
  awk -v ns=$((end - start)) 'BEGIN { printf "%.2f\n", ns / 1e9 }'; }
mounted=() copied=()
for i in $(seq "$pairs"); do
  m=$(seconds env -u TARVO_CONTAINER_COPY "$tarvo" --no-sync build --wheel)
  c=$(seconds env TARVO_CONTAINER_COPY=1 "$tarvo" --no-sync build --wheel)
  echo "pair $i: mounted $m s, copied $c s"
  mounted+=("$m") copied+=("$c")
done
median() { printf '%s\n' "$@" | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
diffs=()
for i in "${!mounted[@]}"; do
  diffs+=("$(awk -v c="${copied[$i]}" -v m="${mounted[$i]}" 'BEGIN { printf "%.2f\n", c - m }')")
done
echo "median: mounted $(median "${mounted[@]}") s, copied $(median "${copied[@]}") s," \
  "copied - mounted $(median "${diffs[@]}") s (median of the pairs)"
