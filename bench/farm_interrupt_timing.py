#!/usr/bin/env python3
# farm_interrupt_timing.py TARVO WHEELS_DIR SECOND_ENGINE_DIR [RUNS]
# Time from Ctrl-C to exit for a farm of two targets (a native wheel and an executable, whose
# set-up scripts sleep) on a pseudo-terminal, one target on this machine's engine and one on the
# second engine of the tests (tests/second_engine/second-engine.sh start SECOND_ENGINE_DIR), typed
# once both containers run; and whether a container is left on either engine.
import os, statistics, subprocess, sys
from ctrl_c import hello_project, time_ctrl_c
tarvo, wheels = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
second = "unix://" + os.path.join(os.path.abspath(sys.argv[3]), "docker.sock")
runs = int(sys.argv[4]) if len(sys.argv) > 4 else 5
# setuptools, whose wheel the host's offline pip has (for .venv).
proj = hello_project('[tool.setuptools]\npackages = ["hello"]\n\n[build-system]\n'
                     'requires = ["setuptools>=77"]\nbuild-backend = "setuptools.build_meta"\n')
env = {k: v for k, v in os.environ.items() if k not in ("DOCKER_HOST", "DOCKER_CONTEXT")}
env.update(PIP_NO_INDEX="1", PIP_FIND_LINKS=wheels, TARVO_ENGINES="default," + second)


def running(host):
    return subprocess.run(["docker", "-H", host, "ps", "--quiet", "--filter", "name=tarvo-"],
                          capture_output=True, text=True).stdout.split()


def left(host):
    return subprocess.run(["docker", "-H", host, "ps", "--all", "--quiet", "--filter",
                           "name=tarvo-"], capture_output=True, text=True).stdout.split()


main = "unix:///var/run/docker.sock"
subprocess.run([tarvo, "requirements"], cwd=proj, env=env, capture_output=True, check=True)
times = []
for run in range(runs):
    status, ms = time_ctrl_c([tarvo, "--no-sync", "build", "--native-wheel", "--executable",
                              "--setup", "sleep 60"],
                             proj, env, lambda: running(main) and running(second), 2)
    times.append(ms)
    print(f"run {run}: exit {status}, {ms:.0f} ms from Ctrl-C, containers left: "
          f"{len(left(main))} here, {len(left(second))} on the second engine")
print(f"median {statistics.median(times):.0f} ms, max {max(times):.0f} ms")
