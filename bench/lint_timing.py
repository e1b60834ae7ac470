#!/usr/bin/env python3
# lint_timing.py TARVO STUBS_DIR [pty]
# Wall time of `tarvo lint` with stand-in checks sleeping 1..5 s, and tarvo's own CPU time:
# the run time of each of its threads (children excluded) from /proc/PID/task/*/schedstat,
# sampled every 20 ms and read a last time while tarvo is a zombie.
import os, sys, tempfile, time, subprocess, threading
tarvo, stubs = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
tty = len(sys.argv) > 3 and sys.argv[3] == "pty"
d = tempfile.mkdtemp()
tools = os.path.join(d, "tools"); os.mkdir(tools)
for i, name in enumerate(["ruff", "basedpyright", "dodgy", "pyroma", "tarvo"], 1):
    with open(os.path.join(tools, name), "w") as f:
        f.write(f"#!/bin/sh\nsleep {i}\n")
    os.chmod(os.path.join(tools, name), 0o755)
proj = os.path.join(d, "p"); os.mkdir(proj)
open(os.path.join(proj, "pyproject.toml"), "w").write("[project]\nname = 'x'\n")
env = dict(os.environ, PATH=f"{tools}:{stubs}:/usr/bin:/bin", STUB_TOOLS=tools)
clk = os.sysconf("SC_CLK_TCK")

def sample(pid, seen):
    try:
        tids = os.listdir(f"/proc/{pid}/task")
    except FileNotFoundError:
        return
    for tid in tids:
        try:
            ns = int(open(f"/proc/{pid}/task/{tid}/schedstat").read().split()[0])
        except (FileNotFoundError, ProcessLookupError, ValueError):
            continue
        seen[tid] = max(seen.get(tid, 0), ns)

def drain(fd):
    try:
        while os.read(fd, 65536):
            pass
    except OSError:
        pass

for run in range(3):
    out = subprocess.DEVNULL
    if tty:
        import pty
        master, slave = pty.openpty()
        out = slave
    start = time.monotonic()
    p = subprocess.Popen([tarvo, "lint"], cwd=proj, env=env, stdout=out, stderr=out)
    if tty:
        os.close(slave)
        threading.Thread(target=drain, args=(master,), daemon=True).start()
    seen = {}
    while True:
        sample(p.pid, seen)
        r = os.waitid(os.P_PID, p.pid, os.WEXITED | os.WNOWAIT | os.WNOHANG)
        if r is not None:
            break
        time.sleep(0.02)
    wall = time.monotonic() - start
    sample(p.pid, seen)
    fields = open(f"/proc/{p.pid}/stat").read().rsplit(")", 1)[1].split()
    ticks = (int(fields[11]) + int(fields[12])) / clk
    rc = p.wait()
    cpu = sum(seen.values()) / 1e9
    print(f"{'pty ' if tty else 'pipe'} run {run}: exit {rc}, wall {wall:.3f} s, tarvo's own CPU "
          f"{cpu * 1000:.1f} ms over {len(seen)} threads = {100 * cpu / wall:.3f}% of wall "
          f"(utime+stime {ticks * 1000:.0f} ms)")
