#!/usr/bin/env bash
# bench/farm_timing.sh TARVO SECOND_ENGINE_DIR farm|sequential|one-farm|one
#
# One run of the build farm's measurements; time them from outside, in pairs (farm against
# sequential, one-farm against one), since the machine's speed drifts:
#   farm        four targets of a small C extension (the pure wheel, and native wheels for the
#               Pythons of $PYTHONS, 3.9,3.11,3.13 by default) in one command, on this machine's
#               engine and the second engine of the tests (tests/second_engine/second-engine.sh
#               start SECOND_ENGINE_DIR), which both have the stand-in images
#   sequential  the same four, one command each, one after another on this machine's engine
#   one-farm    one native wheel through the farm (TARVO_ENGINES=default)
#   one         the same native wheel as one command, without the farm
# The project is made once in SECOND_ENGINE_DIR/bench-project, with .venv ready, and its dist/
# is emptied before each run. pip installs from .cache/wheels alone.
set -euo pipefail
tarvo=$(realpath "$1")
engine=$(realpath "$2")
what=$3
pythons=${PYTHONS:-3.9,3.11,3.13}
project=$engine/bench-project
export PIP_NO_INDEX=1 PIP_FIND_LINKS
PIP_FIND_LINKS=$(realpath "$(dirname "$0")/../.cache/wheels")
unset DOCKER_HOST DOCKER_CONTEXT TARVO_ENGINES

if [ ! -f "$project/.venv/.ready" ]; then
  mkdir -p "$project/cext"
  cat >"$project/pyproject.toml" <<'TOML'
[build-system]
requires = ["setuptools>=77", "wheel"]
build-backend = "setuptools.build_meta"

[project]
name = "cext"
version = "1.0"

[tool.setuptools]
packages = ["cext"]
TOML
  printf 'from setuptools import Extension, setup\n\nsetup(ext_modules=[Extension("cext._speed", ["cext/_speed.c"])])\n' \
    >"$project/setup.py"
  : >"$project/cext/__init__.py"
  printf '#include <Python.h>\n\nstatic struct PyModuleDef module = {PyModuleDef_HEAD_INIT, "_speed", NULL, -1, NULL};\n\nPyMODINIT_FUNC PyInit__speed(void) { return PyModule_Create(&module); }\n' \
    >"$project/cext/_speed.c"
  (cd "$project" && "$tarvo" requirements >/dev/null)
  touch "$project/.venv/.ready"
fi
cd "$project"
rm -rf dist build cext.egg-info
case $what in
farm)
  TARVO_ENGINES="default,unix://$engine/docker.sock" \
    "$tarvo" --no-sync build --wheel --native-wheel --python "$pythons" >/dev/null 2>&1
  ;;
sequential)
  "$tarvo" --no-sync build --wheel >/dev/null 2>&1
  for python in ${pythons//,/ }; do
    "$tarvo" --no-sync build --native-wheel --python "$python" >/dev/null 2>&1
  done
  ;;
one-farm) TARVO_ENGINES=default "$tarvo" --no-sync build --native-wheel >/dev/null 2>&1 ;;
one) "$tarvo" --no-sync build --native-wheel >/dev/null 2>&1 ;;
*)
  echo "usage: farm_timing.sh TARVO SECOND_ENGINE_DIR farm|sequential|one-farm|one" >&2
  exit 2
  ;;
esac
