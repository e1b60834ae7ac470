#!/usr/bin/env bash
# Fetches, once, the toml++ headers that tarvo compiles in: Debian's libtomlplusplus-dev from
# trixie (3.4.0), since bookworm's 3.3.0 reaches undefined behaviour on some non-ASCII input.
# Only the headers and the licence are kept, in .cache/tomlplusplus; nothing is installed.
set -euo pipefail
cd "$(dirname "$0")/.."
dest=.cache/tomlplusplus
[ -f "$dest/include/toml++/toml.hpp" ] && exit 0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/lists/partial" "$work/archives/partial"
echo "deb $(scripts/debian-mirror.sh) trixie main" >"$work/sources.list"
apt=(-o "Dir::Etc::SourceList=$work/sources.list" -o Dir::Etc::SourceParts=/dev/null
  -o "Dir::State::Lists=$work/lists" -o "Dir::Cache::Archives=$work/archives"
  -o APT::Sandbox::User=root -qq)
apt-get "${apt[@]}" update
(cd "$work" && apt-get "${apt[@]}" download libtomlplusplus-dev)
dpkg-deb -x "$work"/libtomlplusplus-dev_*.deb "$work/root"
mkdir -p "$dest"
cp -r "$work/root/usr/include" "$dest/include"
cp "$work/root/usr/share/doc/libtomlplusplus-dev/copyright" "$dest/copyright"
echo "fetched toml++ $(sed -n 's/^Version: //p' <(dpkg-deb -f "$work"/libtomlplusplus-dev_*.deb) \
  2>/dev/null || true) into $dest"
