#!/usr/bin/env bash
# clean_chain.sh TARVO [DEPTH] [DIR]: wall time and peak memory of `tarvo clean` on build/ holding
# a chain of DEPTH nested folders (default 20,000), against rm -rf on the same chain. DIR is where
# the chain is made (default: a new temporary folder); the filesystem sets most of the time.
set -euo pipefail
tarvo=$(realpath "$1")
depth=${2:-20000}
work=$(mktemp -d -p "${3:-${TMPDIR:-/tmp}}")
trap 'rm -rf "$work"' EXIT
make_chain() {
  python3 - "$1" "$depth" <<'PY'
import os, sys
os.mkdir(sys.argv[1])
fd = os.open(sys.argv[1], os.O_RDONLY)
for _ in range(int(sys.argv[2])):
    os.mkdir("d", dir_fd=fd)
    fd, old = os.open("d", os.O_RDONLY, dir_fd=fd), fd
    os.close(old)
os.close(fd)
PY
}
cd "$work"
for run in 1 2 3; do
  make_chain build
  /usr/bin/time -f "run $run: tarvo clean %e s, peak RSS %M KiB" "$tarvo" clean >/dev/null
  make_chain build
  /usr/bin/time -f "run $run: rm -rf      %e s, peak RSS %M KiB" rm -rf build
done
