#!/usr/bin/env bash
# Fetches, once, the wheels that the end-to-end tests install into real environments, so
# that the test run itself never touches the network. They land in .cache/wheels.
set -euo pipefail
cd "$(dirname "$0")/.."
dest=.cache/wheels
mkdir -p "$dest"
stamp="$dest/.complete-v1"
[ -f "$stamp" ] && exit 0
python3 -m pip download --quiet --disable-pip-version-check --only-binary=:all: -d "$dest" \
  pip pytest "setuptools>=77" wheel build
touch "$stamp"
