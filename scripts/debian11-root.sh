#!/usr/bin/env bash
# scripts/debian11-root.sh [PACKAGE...]
#
# Makes, once, a minimal Debian 11 (bullseye, glibc 2.31) root file system in tarvo's cache
# folder and prints its path: the release test runs the release binary in it with chroot, to
# show that it needs nothing newer than an old Linux offers. Later calls reuse it. The Debian
# packages named are installed into it unless they are there already (the sdist check builds
# tarvo there with Debian 11's compilers). Needs root, debootstrap and, for a new root or
# package, Debian's mirror; the cache folder is $TARVO_CACHE, or ~/.cache/tarvo.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
cd "$source"
dest=$cache/debian11-root
mkdir -p "$cache"
exec 9>"$cache/debian11-root.lock"
flock 9
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if [ ! -f "$dest.complete" ]; then
  rm -rf "$dest"
  debootstrap --variant=minbase bullseye "$dest" "$(scripts/debian-mirror.sh)" >"$log" 2>&1 \
    || { tail -n 20 "$log"; exit 1; }
  rm -rf "$dest"/var/lib/apt/lists/* "$dest"/var/cache/apt/*
  touch "$dest.complete"
fi
if [ $# -gt 0 ] && ! chroot "$dest" dpkg-query -W -f='${db:Status-Abbrev}\n' "$@" 2>/dev/null \
  | awk '$1 != "ii" { missing = 1 } END { exit missing }'; then
  cp -L /etc/resolv.conf "$dest/etc/resolv.conf"
  { chroot "$dest" apt-get update -qq \
    && chroot "$dest" env DEBIAN_FRONTEND=noninteractive \
      apt-get install -y -qq --no-install-recommends "$@"; } >"$log" 2>&1 \
    || { tail -n 20 "$log"; exit 1; }
  rm -rf "$dest"/var/lib/apt/lists/* "$dest"/var/cache/apt/*
fi
echo "$dest"
