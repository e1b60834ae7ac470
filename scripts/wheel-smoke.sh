#!/usr/bin/env bash
# scripts/wheel-smoke.sh WHEEL
#
# Installs a release wheel of this machine's system with pip into a fresh virtual environment and
# runs the program it brings: --version, init, config-diff and status in a new project. Checks
# that the manual page, the completions and the licences came along. Needs nothing but python3
# and the shell's tools, so that it runs on the macOS runners too (.github/workflows/macos.yml);
# pip runs offline when PIP_NO_INDEX is set.
set -euo pipefail
if [ $# -ne 1 ]; then
  echo "usage: $0 WHEEL" >&2
  exit 2
fi
wheel=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "wheel-smoke: $*" >&2
  exit 1
}

python3 -m venv "$work/env"
"$work/env/bin/pip" install --quiet --disable-pip-version-check "$wheel"
tarvo=$work/env/bin/tarvo
[ -x "$tarvo" ] || fail "the wheel installed no program tarvo"
echo "wheel-smoke: $(file -b "$tarvo" | cut -c1-80)"
for doc in man/man1/tarvo.1 bash-completion/completions/tarvo zsh/site-functions/_tarvo \
  fish/vendor_completions.d/tarvo.fish doc/tarvo/licenses/zig doc/tarvo/licenses/libcxx; do
  [ -s "$work/env/share/$doc" ] || fail "the wheel did not install share/$doc"
done

version=$("$tarvo" --version)
case $version in "tarvo "[0-9]*) ;; *) fail "--version printed '$version'" ;; esac
mkdir "$work/demo"
cd "$work/demo"
"$tarvo" init --name demo --description 'A demo.' --author-name 'Ada Lovelace' \
  --author-email ada@example.org --license MIT >"$work/init.log" 2>&1 ||
  fail "init failed: $(cat "$work/init.log")"
[ -s pyproject.toml ] || fail "init wrote no pyproject.toml"
"$tarvo" config-diff --workflow || fail "config-diff reports drift right after init"
status=$("$tarvo" status) || fail "status failed"
grep -q '^Project: demo' <<<"$status" || fail "status printed: $status"
echo "wheel-smoke: $version; init, config-diff and status work"
