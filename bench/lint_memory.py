#!/usr/bin/env python3
# lint_memory.py TARVO STUBS_DIR [MIB...]
# Peak memory of `tarvo --no-sync lint` when one check fails after printing MIB MiB of text
# (default 200), its output sent to /dev/null, next to the same check's output captured by
# Python's subprocess.run(capture_output=True) and piped into cat; then with all five checks
# failing, each printing a fifth of it. The peak is the largest resident size among the
# finished children of this script (tarvo; its checks are small), in MiB.
import os, resource, subprocess, sys, tempfile

tarvo, stubs = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
sizes = [int(s) for s in sys.argv[3:]] or [200]


def peak_of(argv, env, cwd):
    # In a child of its own, so that each figure is that run's alone.
    code = ("import resource, subprocess, sys\n"
            "subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)\n"
            "print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)\n")
    out = subprocess.run([sys.executable, "-c", code] + argv, env=env, cwd=cwd,
                         capture_output=True, text=True, check=True)
    return int(out.stdout) / 1024


with tempfile.TemporaryDirectory() as d:
    tools = os.path.join(d, "tools")
    os.mkdir(tools)
    proj = os.path.join(d, "p")
    os.mkdir(proj)
    open(os.path.join(proj, "pyproject.toml"), "w").write("[project]\nname = 'x'\n")
    env = dict(os.environ, PATH=f"{tools}:{stubs}:/usr/bin:/bin", STUB_TOOLS=tools)
    for name in ["basedpyright", "dodgy", "pyroma", "tarvo"]:
        path = os.path.join(tools, name)
        open(path, "w").write("#!/bin/sh\n")
        os.chmod(path, 0o755)
    subprocess.run([tarvo, "requirements"], env=env, cwd=proj, check=True,
                   stdout=subprocess.DEVNULL)
    def check(name, size):
        path = os.path.join(tools, name)
        open(path, "w").write(f"#!/bin/sh\nyes 'x.py:1:1: E999 a lint message' | "
                              f"head -c {size}\nexit 1\n")
        os.chmod(path, 0o755)
        return path

    for mib in sizes:
        ruff = check("ruff", mib << 20)
        lint = peak_of([tarvo, "--no-sync", "lint"], env, proj)
        py = peak_of([sys.executable, "-c", "import subprocess, sys; "
                      "subprocess.run(sys.argv[1:], capture_output=True)", ruff], env, proj)
        cat = peak_of(["sh", "-c", f"'{ruff}' | cat >/dev/null"], env, proj)
        for name in ["ruff", "basedpyright", "dodgy", "pyroma", "tarvo"]:
            check(name, (mib << 20) // 5)
        five = peak_of([tarvo, "--no-sync", "lint"], env, proj)
        print(f"{mib} MiB: tarvo lint {lint:.0f} MiB ({lint / mib:.2f}x), five checks failing "
              f"{five:.0f} MiB ({five / mib:.2f}x); subprocess.run {py:.0f} MiB, "
              f"pipe into cat {cat:.1f} MiB")
        for name in ["basedpyright", "dodgy", "pyroma", "tarvo"]:
            open(os.path.join(tools, name), "w").write("#!/bin/sh\n")
