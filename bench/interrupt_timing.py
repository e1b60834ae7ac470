#!/usr/bin/env python3
# interrupt_timing.py TARVO STUBS_DIR [RUNS]
# Time from Ctrl-C to exit for `tarvo lint` on a pseudo-terminal, with five stand-in checks that
# end on SIGINT. Ctrl-C is typed once all five have started and the display has drawn.
import os, pty, select, statistics, sys, tempfile, time
tarvo, stubs = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
runs = int(sys.argv[3]) if len(sys.argv) > 3 else 10
d = tempfile.mkdtemp()
tools, proj, started = os.path.join(d, "tools"), os.path.join(d, "p"), os.path.join(d, "started")
os.mkdir(tools); os.mkdir(proj)
for name in ["ruff", "basedpyright", "dodgy", "pyroma", "tarvo"]:
    with open(os.path.join(tools, name), "w") as f:
        f.write(f"#!/bin/sh\necho x >>{started}\nexec sleep 30\n")
    os.chmod(os.path.join(tools, name), 0o755)
open(os.path.join(proj, "pyproject.toml"), "w").write("[project]\nname = 'x'\n")
env = dict(os.environ, PATH=f"{tools}:{stubs}:/usr/bin:/bin", STUB_TOOLS=tools)
times = []
for run in range(runs):
    if os.path.exists(started):
        os.unlink(started)
    pid, fd = pty.fork()
    if pid == 0:
        os.chdir(proj)
        os.execve(tarvo, [tarvo, "lint"], env)
    sent = None
    while True:
        r, _, _ = select.select([fd], [], [], 0.02)
        if r:
            try:
                if not os.read(fd, 65536):
                    break
            except OSError:
                break
        if sent is None and os.path.exists(started) and len(open(started).read()) == 10:
            time.sleep(0.25)
            os.write(fd, b"\x03")
            sent = time.monotonic()
        if sent is not None and os.waitid(os.P_PID, pid, os.WEXITED | os.WNOHANG | os.WNOWAIT):
            break
    ended = time.monotonic()
    _, status = os.waitpid(pid, 0)
    os.close(fd)
    times.append((ended - sent) * 1000)
    print(f"run {run}: exit {os.waitstatus_to_exitcode(status)}, {times[-1]:.1f} ms from Ctrl-C")
print(f"median {statistics.median(times):.1f} ms, max {max(times):.1f} ms")
