#!/usr/bin/env python3
# interrupt_timing.py TARVO STUBS_DIR [RUNS]
# Time from Ctrl-C to exit for `tarvo lint` on a pseudo-terminal, with five stand-in checks that
# end on SIGINT. Ctrl-C is typed once all five have started and the display has drawn.
import os, statistics, sys, tempfile
from ctrl_c import time_ctrl_c
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
all_started = lambda: os.path.exists(started) and len(open(started).read()) == 10
times = []
for run in range(runs):
    if os.path.exists(started):
        os.unlink(started)
    status, ms = time_ctrl_c([tarvo, "lint"], proj, env, all_started, 0.25)
    times.append(ms)
    print(f"run {run}: exit {status}, {ms:.1f} ms from Ctrl-C")
print(f"median {statistics.median(times):.1f} ms, max {max(times):.1f} ms")
