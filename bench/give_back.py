#!/usr/bin/env python3
# give_back.py TARVO WHEELS_DIR [FILES] [RUNS]
# Ctrl-C during `tarvo build --wheel` in a project whose .venv holds FILES files (default
# 60,000), made by root as tarvo running as root makes them, while the project belongs to
# 1000:1000: the time from Ctrl-C to exit, whether a container is left, and whether anything
# outside .venv is still root's (then the owner could not clean). The set-up script makes a
# build/ tree and keeps writing until it is stopped. Also times the give-back's own find in a
# container of the manylinux image over the same project, against the whole-tree listing it
# replaced. Needs the docker engine and the stand-in images.
import os, statistics, subprocess, sys, tempfile, time
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from ctrl_c import time_ctrl_c
tarvo, wheels = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
files = int(sys.argv[3]) if len(sys.argv) > 3 else 60000
runs = int(sys.argv[4]) if len(sys.argv) > 4 else 5
proj = tempfile.mkdtemp()
os.chmod(proj, 0o755)
open(os.path.join(proj, "pyproject.toml"), "w").write(
    '[build-system]\nrequires = ["hatchling"]\nbuild-backend = "hatchling.build"\n\n'
    '[project]\nname = "hello"\nversion = "1.0"\n')
os.mkdir(os.path.join(proj, "hello"))
open(os.path.join(proj, "hello", "__init__.py"), "w").close()
subprocess.run(["python3", "-m", "venv", os.path.join(proj, ".venv")], check=True)
subprocess.run(["chown", "-R", "1000:1000", proj], check=True)
many = os.path.join(proj, ".venv", "lib", "many")
for d in range(files // 100):
    os.makedirs(os.path.join(many, str(d)))
    for f in range(100):
        open(os.path.join(many, str(d), str(f)), "w").close()
started = os.path.join(proj, "started")
env = dict(os.environ, PIP_NO_INDEX="1", PIP_FIND_LINKS=wheels)
setup = "mkdir -p build/a/b; touch build/a/b/c started; (while :; do date >build/ticker; sleep 0.1; done) & sleep 60"
times = []
for run in range(runs):
    if os.path.exists(started):
        os.unlink(started)
    status, ms = time_ctrl_c([tarvo, "--no-sync", "build", "--wheel", "--setup", setup],
                             proj, env, lambda: os.path.exists(started), 0.5)
    left = subprocess.run(["docker", "ps", "--all", "--quiet", "--filter", "name=tarvo-"],
                          capture_output=True, text=True).stdout.split()
    roots = subprocess.run(["find", proj, "-path", os.path.join(proj, ".venv"), "-prune", "-o",
                            "-user", "0", "-print"], capture_output=True, text=True).stdout.split()
    times.append(ms)
    print(f"run {run}: exit {status}, {ms:.0f} ms from Ctrl-C, containers left: {len(left)}, "
          f"root's entries outside .venv: {len(roots)}")
print(f"Ctrl-C to exit with {files} files in .venv: median {statistics.median(times):.0f} ms, "
      f"max {max(times):.0f} ms")
image = f"quay.io/pypa/manylinux_2_34_{os.uname().machine}:latest"
# The give-back's find, as the prelude runs it, and the whole-tree listing it replaced.
new = ("touch /src/.m; sleep 1; mkdir -p /src/build/x; touch /src/build/x/f; s=$(date +%s%N); "
       "find /src -xdev -path /src/.venv -prune -o -user 0 -cnewer /src/.m -print0 "
       "| xargs -0 -r chown -h 1000:1000; e=$(date +%s%N); rm /src/.m; echo $(((e-s)/1000000))")
old = ("find /src -xdev -user 0 >/tmp/before; mkdir -p /src/build/y; s=$(date +%s%N); "
       "find /src -xdev -user 0 | grep -vxF -f /tmp/before | tr '\\n' '\\0' "
       "| xargs -0 -r chown -h 1000:1000; e=$(date +%s%N); echo $(((e-s)/1000000))")
for name, script in (("give-back now", new), ("whole-tree listing before", old)):
    ms = [int(subprocess.run(["docker", "run", "--rm", "-v", proj + ":/src", image, "bash", "-c",
                              script], capture_output=True, text=True).stdout.split()[-1])
          for _ in range(3)]
    print(f"{name}: {ms} ms")
subprocess.run(["rm", "-rf", proj])
