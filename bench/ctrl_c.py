# Shared by the Ctrl-C timings: runs a command on a pseudo-terminal, types Ctrl-C once `ready()`
# holds and `settle` seconds more have passed (and once more `again` seconds later, if given),
# and returns the exit status and the time from the last Ctrl-C to the command's end, in
# milliseconds. What the command wrote to the terminal is added to `screen`, if given.
import os, pty, select, signal, tempfile, time


def hello_project(build_system):
    """A fresh folder with the package hello 1.0 built by `build_system` (its TOML table)."""
    proj = tempfile.mkdtemp()
    open(os.path.join(proj, "pyproject.toml"), "w").write(
        build_system + '\n[project]\nname = "hello"\nversion = "1.0"\n')
    os.mkdir(os.path.join(proj, "hello"))
    open(os.path.join(proj, "hello", "__init__.py"), "w").close()
    return proj


def time_ctrl_c(argv, cwd, env, ready, settle, again=None, screen=None):
    pid, fd = pty.fork()
    if pid == 0:
        # A shell starts background jobs with Ctrl-C ignored, and tarvo keeps what it inherits.
        signal.signal(signal.SIGINT, signal.SIG_DFL)
        os.chdir(cwd)
        os.execve(argv[0], argv, env)
    sent = None
    while True:
        r, _, _ = select.select([fd], [], [], 0.02)
        if r:
            try:
                out = os.read(fd, 65536)
            except OSError:
                break
            if not out:
                break
            if screen is not None:
                screen.append(out)
        if sent is None and ready():
            time.sleep(settle)
            os.write(fd, b"\x03")
            sent = first = time.monotonic()
        if again is not None and sent is not None and time.monotonic() - first >= again:
            os.write(fd, b"\x03")
            sent, again = time.monotonic(), None
        if sent is not None and os.waitid(os.P_PID, pid, os.WEXITED | os.WNOHANG | os.WNOWAIT):
            break
    ended = time.monotonic()
    _, status = os.waitpid(pid, 0)
    os.close(fd)
    return os.waitstatus_to_exitcode(status), (ended - sent) * 1000
