#!/usr/bin/env bash
# bench/seal_cost.sh TARVO BASELINE [PAIRS]
# What the sealed container run costs: `tarvo --no-sync build --wheel` and `--native-wheel` of a
# small C extension (setuptools), TARVO against BASELINE (a tarvo built from an earlier commit,
# whose container wrote into the mounted project), in turn, PAIRS pairs each (default 7) after
# one warm-up run of each; prints each pair and the medians of the times and of the pairwise
# ratios. Needs the docker engine and the stand-in images (scripts/container-images.sh).
set -euo pipefail
tarvo=$(realpath "$1")
baseline=$(realpath "$2")
pairs=${3:-7}
proj=$(mktemp -d)
trap 'rm -rf "$proj"' EXIT
mkdir -p "$proj/cext"
cat >"$proj/pyproject.toml" <<'TOML'
[build-system]
requires = ["setuptools>=77", "wheel"]
build-backend = "setuptools.build_meta"

[project]
name = "cext"
version = "1.0"

[tool.setuptools]
packages = ["cext"]
TOML
cat >"$proj/setup.py" <<'PY'
from setuptools import Extension, setup

setup(ext_modules=[Extension("cext._speed", ["cext/_speed.c"])])
PY
cat >"$proj/cext/_speed.c" <<'C'
#include <Python.h>

static PyObject *twice(PyObject *self, PyObject *arg) {
  return PyNumber_Multiply(arg, PyLong_FromLong(2));
}

static PyMethodDef methods[] = {{"twice", twice, METH_O, NULL}, {NULL, NULL, 0, NULL}};
static struct PyModuleDef module = {PyModuleDef_HEAD_INIT, "_speed", NULL, -1, methods};

PyMODINIT_FUNC PyInit__speed(void) { return PyModule_Create(&module); }
C
touch "$proj/cext/__init__.py"
python3 -m venv "$proj/.venv"
cd "$proj"
seconds() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
  end=$(date +%s%N)
  awk -v ns=$((end - start)) 'BEGIN { printf "%.2f\n", ns / 1e9 }'
}
median() { printf '%s\n' "$@" | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
for kind in --wheel --native-wheel; do
  seconds "$tarvo" --no-sync build "$kind" >/dev/null
  seconds "$baseline" --no-sync build "$kind" >/dev/null
  sealed=() before=() ratios=()
  for i in $(seq "$pairs"); do
    s=$(seconds "$tarvo" --no-sync build "$kind")
    b=$(seconds "$baseline" --no-sync build "$kind")
    echo "$kind pair $i: sealed $s s, baseline $b s"
    sealed+=("$s") before+=("$b")
    ratios+=("$(awk -v s="$s" -v b="$b" 'BEGIN { printf "%.3f\n", s / b }')")
  done
  echo "$kind median: sealed $(median "${sealed[@]}") s, baseline $(median "${before[@]}") s," \
    "sealed/baseline $(median "${ratios[@]}") (median of the pairs)"
done
