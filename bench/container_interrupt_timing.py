#!/usr/bin/env python3
# container_interrupt_timing.py TARVO WHEELS_DIR [RUNS]
# Time from Ctrl-C to exit for `tarvo build --wheel` on a pseudo-terminal, typed while the
# build container runs (its set-up script sleeps), and whether a container of the run is left.
# Needs the docker engine and the manylinux image of scripts/container-images.sh; the project's
# .venv installs offline from WHEELS_DIR.
import os, pty, select, statistics, subprocess, sys, tempfile, time
tarvo, wheels = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
runs = int(sys.argv[3]) if len(sys.argv) > 3 else 5
proj = tempfile.mkdtemp()
open(os.path.join(proj, "pyproject.toml"), "w").write(
    '[build-system]\nrequires = ["hatchling"]\nbuild-backend = "hatchling.build"\n\n'
    '[project]\nname = "hello"\nversion = "1.0"\n')
os.mkdir(os.path.join(proj, "hello"))
open(os.path.join(proj, "hello", "__init__.py"), "w").close()
started = os.path.join(proj, "started")
env = dict(os.environ, PIP_NO_INDEX="1", PIP_FIND_LINKS=wheels)
times = []
for run in range(runs):
    if os.path.exists(started):
        os.unlink(started)
    pid, fd = pty.fork()
    if pid == 0:
        os.chdir(proj)
        os.execve(tarvo, [tarvo, "build", "--wheel", "--setup", "touch started; sleep 60"], env)
    sent = None
    while True:
        r, _, _ = select.select([fd], [], [], 0.02)
        if r:
            try:
                if not os.read(fd, 65536):
                    break
            except OSError:
                break
        if sent is None and os.path.exists(started):
            time.sleep(0.5)
            os.write(fd, b"\x03")
            sent = time.monotonic()
        if sent is not None and os.waitid(os.P_PID, pid, os.WEXITED | os.WNOHANG | os.WNOWAIT):
            break
    ended = time.monotonic()
    _, status = os.waitpid(pid, 0)
    os.close(fd)
    left = subprocess.run(["docker", "ps", "--all", "--quiet", "--filter", "name=tarvo-"],
                          capture_output=True, text=True).stdout.split()
    times.append((ended - sent) * 1000)
    print(f"run {run}: exit {os.waitstatus_to_exitcode(status)}, {times[-1]:.0f} ms from Ctrl-C,"
          f" containers left: {len(left)}")
print(f"median {statistics.median(times):.0f} ms, max {max(times):.0f} ms")
