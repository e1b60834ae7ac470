#!/usr/bin/env bash
# Makes, once, a minimal Debian 11 (bullseye, glibc 2.31) root file system in tarvo's cache
# folder and prints its path: the release test runs the release binary in it with chroot, to
# show that it needs nothing newer than an old Linux offers. Later calls reuse it. Needs root and
# debootstrap; the cache folder is $TARVO_CACHE, or ~/.cache/tarvo.
set -euo pipefail
cd "$(dirname "$0")/.."
cache=${TARVO_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tarvo}
dest=$cache/debian11-root
mkdir -p "$cache"
exec 9>"$cache/debian11-root.lock"
flock 9
if [ ! -f "$dest.complete" ]; then
  rm -rf "$dest"
  log=$(mktemp)
  debootstrap --variant=minbase bullseye "$dest" "$(scripts/debian-mirror.sh)" >"$log" 2>&1 \
    || { tail -n 20 "$log"; rm -f "$log"; exit 1; }
  rm -f "$log"
  rm -rf "$dest"/var/lib/apt/lists/* "$dest"/var/cache/apt/*
  touch "$dest.complete"
fi
echo "$dest"
