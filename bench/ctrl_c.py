# Shared by the Ctrl-C timings: runs a command on a pseudo-terminal, types Ctrl-C once `ready()`
# holds and `settle` seconds more have passed, and returns the exit status and the time from
# Ctrl-C to the command's end, in milliseconds.
import os, pty, select, tempfile, time


def hello_project(build_system):
    """A fresh folder with the package hello 1.0 built by `build_system` (its TOML table)."""
    proj = tempfile.mkdtemp()
    open(os.path.join(proj, "pyproject.toml"), "w").write(
        build_system + '\n[project]\nname = "hello"\nversion = "1.0"\n')
    os.mkdir(os.path.join(proj, "hello"))
    open(os.path.join(proj, "hello", "__init__.py"), "w").close()
    return proj


def time_ctrl_c(argv, cwd, env, ready, settle):
    pid, fd = pty.fork()
    if pid == 0:
        os.chdir(cwd)
        os.execve(argv[0], argv, env)
    sent = None
    while True:
        r, _, _ = select.select([fd], [], [], 0.02)
        if r:
            try:
                if not os.read(fd, 65536):
                    break
            except OSError:
                break
        if sent is None and ready():
            time.sleep(settle)
            os.write(fd, b"\x03")
            sent = time.monotonic()
        if sent is not None and os.waitid(os.P_PID, pid, os.WEXITED | os.WNOHANG | os.WNOWAIT):
            break
    ended = time.monotonic()
    _, status = os.waitpid(pid, 0)
    os.close(fd)
    return os.waitstatus_to_exitcode(status), (ended - sent) * 1000
