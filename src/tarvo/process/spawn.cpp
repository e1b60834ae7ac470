#include "tarvo/process/spawn.hpp"

#include "tarvo/process/programs.hpp"

#include "tarvo/error.hpp"
#include "tarvo/platform.hpp"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#if TARVO_LINUX_CALLS
#include <sys/prctl.h>
#elif TARVO_FREEBSD
#include <sys/procctl.h>
#endif

extern char **environ;

namespace tarvo::process {

namespace {

// Linux's pipes hold 64 KiB; a larger one lets a fast writer hand over more per wake-up.
void enlarge(int pipe_fd) {
#if TARVO_LINUX_CALLS
  ::fcntl(pipe_fd, F_SETPIPE_SZ, 1 << 20);
#else
  (void)pipe_fd;
#endif
}

// In the child, before its program starts: the child is killed when the thread that forked it
// ends (Linux) or its parent process does (FreeBSD), so a killed tarvo leaves none running.
// Where the system has no such signal, a child outlives a tarvo killed outright (SIGKILL) as any
// program's child does.
void die_with_parent(pid_t parent) {
#if TARVO_LINUX_CALLS || TARVO_FREEBSD
#if TARVO_LINUX_CALLS
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
#else
  int signal = SIGKILL;
  ::procctl(P_PID, 0, PROC_PDEATHSIG_CTL, &signal);
#endif
  // The parent may have gone before the request was made.
  if (::getppid() != parent) {
    ::_exit(127);
  }
#else
  (void)parent;
#endif
}

// What the child does with one of its output streams.
struct Stream {
  int target;
  Redirect mode;
  Fd read_end;  // ours, when captured
  Fd write_end; // the child's, when captured or discarded
};

Stream direct(int target, Redirect mode, int file) {
  Stream stream{target, mode, Fd(), Fd()};
  if (mode == Redirect::File) {
    stream.write_end = Fd(::fcntl(file, F_DUPFD_CLOEXEC, 0));
    if (!stream.write_end) {
      throw os_error(errno);
    }
  } else if (mode == Redirect::Discard) {
    stream.write_end = Fd(::open("/dev/null", O_WRONLY | O_CLOEXEC));
    if (!stream.write_end) {
      throw os_error(errno, "/dev/null");
    }
  } else if (mode == Redirect::Capture) {
    // Close-on-exec, so that children started meanwhile never hold our pipe open; the copy
    // made for this child loses the flag. Only our end does not block.
    auto pipe = make_pipe(O_CLOEXEC);
    stream.read_end = std::move(pipe.read);
    stream.write_end = std::move(pipe.write);
    if (::fcntl(stream.read_end.get(), F_SETFL, O_NONBLOCK) != 0) {
      throw os_error(errno);
    }
    enlarge(stream.read_end.get());
  }
  return stream;
}

std::vector<char *> pointers(const std::vector<std::string> &items) {
  std::vector<char *> out;
  out.reserve(items.size() + 1);
  for (const auto &item : items) {
    out.push_back(const_cast<char *>(item.c_str()));
  }
  out.push_back(nullptr);
  return out;
}

// Everything the child needs, made before the fork: the child only makes system calls.
struct ChildPlan {
  pid_t parent;
  bool own_group;
  std::array<const Stream *, 2> streams;
  char *const *argv;
  char *const *envp;
  const std::vector<char *> *files;
  int report; // the child writes its errno here when its program cannot start
};

// The signals whose handlers are ours: reset before the mask is lifted, since a handler must
// never run in the child. SIGPIPE and SIGXFSZ, which we ignore for our own writes, go back to
// their defaults; signals ignored when tarvo started stay ignored, as a shell passes them on.
constexpr std::array<int, 4> HANDLED = {SIGINT, SIGTERM, SIGHUP, SIGCHLD};

[[noreturn]] void run_child(const ChildPlan &plan) {
  for (int number : HANDLED) {
    struct sigaction current {};
    if (::sigaction(number, nullptr, &current) == 0 && current.sa_handler != SIG_IGN) {
      ::signal(number, SIG_DFL);
    }
  }
  ::signal(SIGPIPE, SIG_DFL);
  ::signal(SIGXFSZ, SIG_DFL);
  if (plan.own_group) {
    ::setpgid(0, 0);
  }
  die_with_parent(plan.parent);
  for (const Stream *stream : plan.streams) {
    int fd = stream->write_end.get();
    // A descriptor already in place (our own stream was closed) keeps it by losing the flag.
    int rc = fd < 0                 ? 0
             : fd == stream->target ? ::fcntl(fd, F_SETFD, 0)
                                    : ::dup2(fd, stream->target);
    if (rc < 0) {
      int error = errno;
      [[maybe_unused]] auto n = ::write(plan.report, &error, sizeof error);
      ::_exit(127);
    }
  }
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);

  int error = ENOENT;
  bool denied = false;
  for (char *file : *plan.files) {
    if (file == nullptr) {
      break;
    }
    ::execve(file, plan.argv, plan.envp);
    error = errno;
    if (error == EACCES) {
      denied = true;
    } else if (error != ENOENT && error != ENOTDIR && error != ESTALE && error != ENODEV &&
               error != ETIMEDOUT) {
      break;
    }
  }
  if (denied && error != ENOEXEC && error != E2BIG && error != ENOMEM && error != ETXTBSY) {
    error = EACCES;
  }
  [[maybe_unused]] auto n = ::write(plan.report, &error, sizeof error);
  ::_exit(127);
}

// Waits for the child to start its program: the report pipe closes with the exec, or brings
// the errno that stopped it.
int start_error(int report) {
  int error = 0;
  for (;;) {
    ssize_t n = ::read(report, &error, sizeof error);
    if (n >= 0) {
      return n == static_cast<ssize_t>(sizeof error) ? error : 0;
    }
    if (errno != EINTR) {
      return errno;
    }
  }
}

} // namespace

Spawned spawn(const std::vector<std::string> &args, const ProcessOptions &options, bool own_group) {
  const std::string &name = options.program ? options.program->string() : args[0];
  // Found as the look-up finds it, in the child's PATH: what was found is what runs.
  auto program = options.program;
  if (!program) {
    Environment own;
    if (const char *path = std::getenv("PATH")) {
      own["PATH"] = path;
    }
    program = find_program(name, options.env ? *options.env : own);
    if (!program) {
      throw os_error(ENOENT, name);
    }
  }
  const std::vector<std::string> files_text = {program->string()};
  auto files = pointers(files_text);
  auto argv = pointers(args);
  std::vector<std::string> env_text;
  if (options.env) {
    env_text.reserve(options.env->size());
    for (const auto &[key, value] : *options.env) {
      env_text.push_back(key + "=" + value);
    }
  }
  auto envp = pointers(env_text);

  Stream out = direct(STDOUT_FILENO, options.stdout_mode, options.file);
  Stream err = direct(STDERR_FILENO, options.stderr_mode, options.file);
  auto report = make_pipe(O_CLOEXEC);
  ChildPlan plan{
      ::getpid(), own_group,         {&out, &err}, argv.data(), options.env ? envp.data() : environ,
      &files,     report.write.get()};

  // No handler may run between the fork and the child's reset of it.
  sigset_t all, previous;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &previous);
  pid_t pid;
  {
    std::lock_guard lock(descriptor_mutex());
    pid = ::fork();
  }
  if (pid == 0) {
    run_child(plan);
  }
  int fork_error = errno;
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (pid < 0) {
    throw os_error(fork_error);
  }
  report.write.close();
  out.write_end.close();
  err.write_end.close();
  if (int error = start_error(report.read.get())) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    throw os_error(error, name);
  }
  return {pid, std::move(out.read_end), std::move(err.read_end)};
}

} // namespace tarvo::process
