#!/usr/bin/env bash
# Prints the Debian mirror that this machine's apt uses (http://deb.debian.org/debian if none).
set -euo pipefail
uri=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null | sed -n 's/^URIs: *//p' \
  | tr ' ' '\n' | grep -E '/debian/?$' | head -n 1 || true)
[ -n "$uri" ] || uri=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null \
  | awk '$1 == "deb" && $2 ~ /\/debian\/?$/ { print $2; exit }')
echo "${uri:-http://deb.debian.org/debian}"
