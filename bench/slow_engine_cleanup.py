#!/usr/bin/env python3
# slow_engine_cleanup.py TARVO WHEELS_DIR [RUNS]
# The clean-up after Ctrl-C when the engine is slow: every `docker stop` and `docker rm` waits
# 20 s before it reaches the real engine, and the build container ignores signals. Types one
# Ctrl-C, then two 0.5 s apart, during `tarvo build --wheel` on a pseudo-terminal, and reports the
# time from the last Ctrl-C to tarvo's end, its last line and whether the container was still
# there when tarvo ended (the last line must then name it). Needs the docker engine and the
# manylinux image of scripts/container-images.sh. Removes the containers it leaves, by name.
import os, re, shutil, statistics, subprocess, sys, tempfile
from ctrl_c import hello_project, time_ctrl_c
tarvo, wheels = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
runs = int(sys.argv[3]) if len(sys.argv) > 3 else 3
slow = tempfile.mkdtemp()
docker = shutil.which("docker")
with open(os.path.join(slow, "docker"), "w") as f:
    f.write(f'#!/bin/sh\ncase "$1" in stop|rm) sleep 20 ;; esac\nexec {docker} "$@"\n')
os.chmod(os.path.join(slow, "docker"), 0o755)
proj = hello_project('[build-system]\nrequires = ["hatchling"]\nbuild-backend = "hatchling.build"\n')
started = os.path.join(proj, "started")
env = dict(os.environ, PIP_NO_INDEX="1", PIP_FIND_LINKS=wheels, PATH=slow + ":" + os.environ["PATH"])
setup = "trap '' INT TERM HUP; touch started; sleep 60"
for ctrl_cs in (1, 2):
    times = []
    for run in range(runs):
        if os.path.exists(started):
            os.unlink(started)
        screen = []
        status, ms = time_ctrl_c([tarvo, "build", "--wheel", "--setup", setup], proj, env,
                                 lambda: os.path.exists(started), 0.5,
                                 again=0.5 if ctrl_cs == 2 else None, screen=screen)
        last = b"".join(screen).decode(errors="replace").strip().splitlines()[-1]
        names = re.findall(r"tarvo-[0-9a-z-]+", last)
        alive = [n for n in names
                 if subprocess.run([docker, "inspect", n], capture_output=True).returncode == 0]
        for name in alive:
            subprocess.run([docker, "rm", "--force", "--volumes", name], capture_output=True)
        times.append(ms)
        print(f"{ctrl_cs} Ctrl-C, run {run}: exit {status}, {ms:.0f} ms after the last; "
              f"container still there: {bool(alive)}; last line: {last}")
    print(f"{ctrl_cs} Ctrl-C: median {statistics.median(times):.0f} ms, max {max(times):.0f} ms")
