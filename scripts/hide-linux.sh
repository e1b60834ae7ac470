#!/usr/bin/env bash
# scripts/hide-linux.sh COMMAND [ARGUMENT...]
#
# Runs COMMAND where what macOS lacks of this Linux is hidden, in a mount namespace of its own
# (unshare, as root; nothing outside it changes), and fails if COMMAND does or if anything run
# in it used an option that was refused (a tool's failure may go unseen); the hidden programs
# that were called are listed (a test may call one to see whether it runs, and skip):
#   - programs macOS has no copy of (setsid, nproc, timeout, flock, setarch, sha256sum,
#     sha1sum, md5sum, tac, stdbuf): each replaced by one that fails, saying so
#   - GNU's own options of the tools macOS has a BSD copy of (sed, grep, stat, readlink, date,
#     head, tail, xargs, cp, mv, ln, rm, mkdir, touch, sort, cut, tr, wc, ls, cat, find,
#     mktemp, ps, sleep, basename, dirname): each replaced by one that refuses any long
#     option (--name) and sed -i without a suffix, sed -r, grep -P, readlink -f, stat -c,
#     date's %N, head and tail with a negative count, xargs -r, find -printf and mktemp -p,
#     then runs the real tool under its own name (env is left alone: a shell in
#     front of it would add to the environment it prints)
#   - /dev, replaced by one with what macOS's has: null, zero, random, urandom, tty, ptmx,
#     pts/, fd/ and stdin, stdout and stderr (no /dev/full, no /dev/shm)
# It cannot hide /proc (Linux's programs, ps among them, read it; the tests that read it skip
# elsewhere), Linux's system calls (the preset portable builds tarvo without them), nor make
# /bin/sh the bash 3.2 of macOS (Debian's is dash).
set -euo pipefail
[ $# -gt 0 ] || {
  echo "usage: scripts/hide-linux.sh COMMAND [ARGUMENT...]" >&2
  exit 2
}

missing=(setsid nproc timeout flock setarch sha256sum sha1sum md5sum tac stdbuf)
bsd=(sed grep stat readlink date head tail xargs cp mv ln rm mkdir touch sort cut tr wc ls cat
  find mktemp ps sleep basename dirname)

if [ "${HIDE_LINUX_INSIDE:-}" != 1 ]; then
  [ "$(id -u)" = 0 ] || {
    echo "hide-linux: a mount namespace takes root" >&2
    exit 2
  }
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  status=0
  HIDE_LINUX_INSIDE=1 HIDE_LINUX_WORK=$work unshare --mount --propagation private -- \
    "$0" "$@" || status=$?
  if [ -s "$work/called" ]; then
    echo "hide-linux: programs that macOS lacks were called (each failed):" >&2
    sort "$work/called" | uniq -c | sort -rn | head -n 20 >&2
  fi
  if [ -s "$work/refused" ]; then
    echo "hide-linux: options of GNU's alone were refused:" >&2
    sort "$work/refused" | uniq -c | sort -rn | head -n 40 >&2
    [ "$status" != 0 ] || status=1
  fi
  exit "$status"
fi

work=$HIDE_LINUX_WORK
mkdir -p "$work/real" "$work/tools"

# cover PATH FILE: FILE (made by us) in the place of PATH, for this namespace.
cover() { mount --bind "$2" "$1"; }

for tool in "${missing[@]}"; do
  path=$(command -v "$tool" || true)
  [ -n "$path" ] || continue
  printf '#!/bin/sh\necho "%s $*: macOS has none" >>%s\necho "%s: hidden: macOS has none" >&2\nexit 127\n' \
    "$tool" "$work/called" "$tool" >"$work/tools/$tool"
  chmod +x "$work/tools/$tool"
  cover "$path" "$work/tools/$tool"
done

for tool in "${bsd[@]}"; do
  path=$(command -v "$tool")
  cp "$path" "$work/real/$tool"
  cat >"$work/tools/$tool" <<EOF
#!/bin/bash
# $tool without GNU's own options.
previous=
for arg do
  gnu=
  case \$arg in
  --) break ;;
  --*) gnu=1 ;;
  esac
  case $tool:\$previous:\$arg in
  sed::-i | sed::-[nEsu]*i | sed::-r | sed::-[nEsu]*r* | grep::-[a-zA-Z]*P* | \\
    readlink::-[a-zA-Z]*f* | stat::-[a-zA-Z]*c* | date::+*%N* | head:-n:-* | head::-n-* | \\
    tail:-n:-* | tail::-n-* | xargs::-[a-zA-Z]*r* | find::-printf | mktemp::-p*) gnu=1 ;;
  esac
  if [ -n "\$gnu" ]; then
    echo "$tool \$*" >>"$work/refused"
    echo "$tool: \$arg is GNU's alone: not on macOS or the BSDs" >&2
    exit 2
  fi
  previous=\$arg
done
exec -a "\${0##*/}" "$work/real/$tool" "\$@"
EOF
  chmod +x "$work/tools/$tool"
  cover "$path" "$work/tools/$tool"
done

# A /dev as macOS has it, made aside and moved over the real one (whose nodes it binds).
dev=$work/dev
mkdir "$dev"
mount -t tmpfs -o mode=755 tmpfs "$dev"
for node in null zero random urandom tty; do
  touch "$dev/$node"
  mount --bind "/dev/$node" "$dev/$node"
done
mkdir "$dev/pts"
mount --bind /dev/pts "$dev/pts"
ln -s pts/ptmx "$dev/ptmx"
ln -s /proc/self/fd "$dev/fd"
ln -s /proc/self/fd/0 "$dev/stdin"
ln -s /proc/self/fd/1 "$dev/stdout"
ln -s /proc/self/fd/2 "$dev/stderr"
# Nothing new appears in it (a write to /dev/full makes no file).
mount -o remount,ro "$dev"
mount --move "$dev" /dev

exec "$@"
