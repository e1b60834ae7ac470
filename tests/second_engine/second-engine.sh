#!/usr/bin/env bash
# second-engine.sh start|stop DIR
# A second docker engine that cannot see DIR/projects, as a remote engine cannot see the user's
# folder: dockerd in network and mount namespaces of its own (so it never touches the main
# engine's network or its docker0 bridge), with an empty tmpfs over DIR/projects, no bridge, no
# iptables, its data root, exec root and socket (DIR/docker.sock) in DIR, and the local stand-in
# images loaded into it (kept in DIR/data for the next run). "stop" ends it by its pid. Without
# a main engine, the images, or the programs this needs, "start" does nothing and the tests skip.
set -euo pipefail
command=$1
dir=$(realpath -m "$2")
sock="$dir/docker.sock"
images=(python:3.11 "quay.io/pypa/manylinux_2_34_$(uname -m):latest")

running() { [ -f "$dir/pid" ] && kill -0 "$(cat "$dir/pid")" 2>/dev/null; }

case $command in
start)
  for program in unshare dockerd fuse-overlayfs ip; do
    command -v "$program" >/dev/null || { echo "second-engine: no $program: skipped"; exit 0; }
  done
  docker info >/dev/null 2>&1 || { echo "second-engine: no docker engine: skipped"; exit 0; }
  for image in "${images[@]}"; do
    docker image inspect "$image" >/dev/null 2>&1 \
      || { echo "second-engine: no $image (scripts/container-images.sh): skipped"; exit 0; }
  done
  # Images of another recipe lack what the scripts expect.
  "$(dirname "$0")/../../scripts/container-images.sh" --check
  mkdir -p "$dir/projects" "$dir/data" "$dir/exec"
  if ! running; then
    rm -f "$dir/pid" "$sock"
    echo '{}' >"$dir/daemon.json"
    cat >"$dir/inside.sh" <<'INSIDE'
#!/bin/sh
# In the engine's own namespaces: loopback up, the projects hidden, then the engine.
set -e
dir=$1
ip link set lo up
mount -t tmpfs tmpfs "$dir/projects"
exec dockerd --config-file "$dir/daemon.json" --data-root "$dir/data" --exec-root "$dir/exec" \
  --pidfile "$dir/pid" -H "unix://$dir/docker.sock" --bridge=none --iptables=false \
  --ip6tables=false --ip-masq=false --storage-driver=fuse-overlayfs
INSIDE
    chmod +x "$dir/inside.sh"
    setsid unshare --mount --net --propagation private "$dir/inside.sh" "$dir" \
      >"$dir/dockerd.log" 2>&1 </dev/null &
    for _ in $(seq 600); do
      docker -H "unix://$sock" info >/dev/null 2>&1 && break
      sleep 0.1
    done
    docker -H "unix://$sock" info >/dev/null 2>&1 \
      || { echo "second-engine: did not start"; tail -n 20 "$dir/dockerd.log"; exit 1; }
  fi
  # The images, unless the engine has these very ones.
  for image in "${images[@]}"; do
    if [ "$(docker image inspect -f '{{.Id}}' "$image")" != \
      "$(docker -H "unix://$sock" image inspect -f '{{.Id}}' "$image" 2>/dev/null || true)" ]
    then
      docker save "${images[@]}" | docker -H "unix://$sock" load >/dev/null
      break
    fi
  done
  echo "second-engine: running, pid $(cat "$dir/pid"), unix://$sock"
  ;;
stop)
  if running; then
    pid=$(cat "$dir/pid")
    # Containers a failed test may have left go first.
    docker -H "unix://$sock" ps --all --quiet | xargs -r docker -H "unix://$sock" rm --force \
      >/dev/null 2>&1 || true
    kill "$pid"
    for _ in $(seq 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    echo "second-engine: stopped"
  fi
  ;;
*)
  echo "usage: second-engine.sh start|stop DIR" >&2
  exit 2
  ;;
esac
