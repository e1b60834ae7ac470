#!/usr/bin/env python3
# container_interrupt_timing.py TARVO WHEELS_DIR [RUNS]
# Time from Ctrl-C to exit for `tarvo build --wheel` on a pseudo-terminal, typed while the
# build container runs (its set-up script sleeps), and whether a container of the run is left.
# Needs the docker engine and the manylinux image of scripts/container-images.sh; the project's
# .venv installs offline from WHEELS_DIR.
import os, statistics, subprocess, sys
from ctrl_c import hello_project, time_ctrl_c
tarvo, wheels = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
runs = int(sys.argv[3]) if len(sys.argv) > 3 else 5
proj = hello_project('[build-system]\nrequires = ["hatchling"]\nbuild-backend = "hatchling.build"\n')
started = os.path.join(proj, "started")
env = dict(os.environ, PIP_NO_INDEX="1", PIP_FIND_LINKS=wheels)
times = []
for run in range(runs):
    if os.path.exists(started):
        os.unlink(started)
    status, ms = time_ctrl_c([tarvo, "build", "--wheel", "--setup", "touch started; sleep 60"],
                             proj, env, lambda: os.path.exists(started), 0.5)
    left = subprocess.run(["docker", "ps", "--all", "--quiet", "--filter", "name=tarvo-"],
                          capture_output=True, text=True).stdout.split()
    times.append(ms)
    print(f"run {run}: exit {status}, {ms:.0f} ms from Ctrl-C, containers left: {len(left)}")
print(f"median {statistics.median(times):.0f} ms, max {max(times):.0f} ms")
