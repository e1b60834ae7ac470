#include "tarvo/venv/process.hpp"

#include "tarvo/repr.hpp"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fmt/format.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

extern char **environ;

namespace tarvo::venv {

namespace {

void check_spawn_call(int rc) {
  if (rc != 0) {
    throw os_error(rc);
  }
}

// Both ends of a pipe, closed when the scope ends unless taken.
struct Pipe {
  int read = -1;
  int write = -1;
  ~Pipe() {
    for (int fd : {read, write}) {
      if (fd >= 0) {
        ::close(fd);
      }
    }
  }
  int take_read() { return std::exchange(read, -1); }
};

struct SpawnActions {
  posix_spawn_file_actions_t value;
  SpawnActions() { check_spawn_call(posix_spawn_file_actions_init(&value)); }
  ~SpawnActions() { posix_spawn_file_actions_destroy(&value); }
};

// The child starts with the default disposition for the signals we may ignore for our own
// writes and with no signal blocked, as a program started from a shell does.
struct SpawnAttributes {
  posix_spawnattr_t value;
  SpawnAttributes() {
    check_spawn_call(posix_spawnattr_init(&value));
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGXFSZ);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&value, &defaults);
    posix_spawnattr_setsigmask(&value, &none);
    posix_spawnattr_setflags(&value, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  }
  ~SpawnAttributes() { posix_spawnattr_destroy(&value); }
};

void direct_stream(SpawnActions &actions, int target, Stream mode, Pipe &pipe, FILE *ours) {
  switch (mode) {
  case Stream::Inherit:
    // Text we have buffered must reach the shared stream before the child's.
    std::fflush(ours);
    break;
  case Stream::Discard:
    check_spawn_call(
        posix_spawn_file_actions_addopen(&actions.value, target, "/dev/null", O_WRONLY, 0));
    break;
  case Stream::Capture: {
    // Close-on-exec, so that children started by other threads meanwhile never hold our pipe
    // open; the copy made for this child loses the flag.
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
      throw os_error(errno);
    }
    pipe.read = fds[0];
    pipe.write = fds[1];
    check_spawn_call(posix_spawn_file_actions_adddup2(&actions.value, pipe.write, target));
    break;
  }
  }
}

// posix_spawn takes non-const pointers for historical reasons but never writes through them.
std::vector<char *> pointers(const std::vector<std::string> &items) {
  std::vector<char *> out;
  out.reserve(items.size() + 1);
  for (const auto &item : items) {
    out.push_back(const_cast<char *>(item.c_str()));
  }
  out.push_back(nullptr);
  return out;
}

std::string normalise_newlines(std::string text) {
  auto first = text.find('\r');
  if (first == std::string::npos) {
    return text;
  }
  std::size_t out = first;
  for (std::size_t i = first; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r') {
      c = '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') {
        ++i;
      }
    }
    text[out++] = c;
  }
  text.resize(out);
  return text;
}

std::string failure_message(int returncode, const std::vector<std::string> &args) {
  if (returncode < 0) {
    return fmt::format("Command '{}' died with signal {}.", repr(args), -returncode);
  }
  return fmt::format("Command '{}' returned non-zero exit status {}.", repr(args), returncode);
}

} // namespace

CalledProcessError::CalledProcessError(int returncode, std::vector<std::string> args,
                                       std::optional<std::string> stdout_text,
                                       std::optional<std::string> stderr_text)
    : Error("CalledProcessError", failure_message(returncode, args)), returncode(returncode),
      args(std::move(args)), stdout_text(std::move(stdout_text)),
      stderr_text(std::move(stderr_text)) {}

Process::Process(std::vector<std::string> args, const ProcessOptions &options)
    : args_(std::move(args)) {
  if (args_.empty()) {
    throw Error("ValueError", "a child process needs a program to run");
  }
  SpawnActions actions;
  SpawnAttributes attributes;
  Pipe out_pipe, err_pipe;
  direct_stream(actions, STDOUT_FILENO, options.stdout_mode, out_pipe, stdout);
  direct_stream(actions, STDERR_FILENO, options.stderr_mode, err_pipe, stderr);

  auto argv = pointers(args_);
  std::vector<std::string> env_text;
  if (options.env) {
    env_text.reserve(options.env->size());
    for (const auto &[name, value] : *options.env) {
      env_text.push_back(name + "=" + value);
    }
  }
  auto envp = pointers(env_text);

  auto *envv = options.env ? envp.data() : environ;
  int rc = options.program ? posix_spawn(&pid_, options.program->c_str(), &actions.value,
                                         &attributes.value, argv.data(), envv)
                           : posix_spawnp(&pid_, args_[0].c_str(), &actions.value,
                                          &attributes.value, argv.data(), envv);
  if (rc != 0) {
    throw os_error(rc, options.program ? options.program->string() : args_[0]);
  }
  // The descriptor can be opened safely now: the child's id stays reserved until we reap it.
  // Called directly: glibc 2.36 declares pidfd_open without C linkage.
  pidfd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
  if (pidfd_ < 0) {
    int err = errno;
    ::kill(pid_, SIGKILL);
    reap(0);
    throw os_error(err);
  }
  out_.wanted = options.stdout_mode == Stream::Capture;
  err_.wanted = options.stderr_mode == Stream::Capture;
  out_.fd = out_pipe.take_read();
  err_.fd = err_pipe.take_read();
}

Process::~Process() {
  close_fd(out_.fd);
  close_fd(err_.fd);
  if (!returncode_) {
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
  close_fd(pidfd_);
}

void Process::close_fd(int &fd) {
  if (fd >= 0) {
    ::close(fd);
    fd = -1;
  }
}

void Process::reap(int options) {
  int status = 0;
  pid_t done;
  do {
    done = waitpid(pid_, &status, options);
  } while (done < 0 && errno == EINTR);
  if (done < 0) {
    throw os_error(errno);
  }
  if (done == pid_) {
    returncode_ = WIFSIGNALED(status) ? -WTERMSIG(status) : WEXITSTATUS(status);
  }
}

void Process::poll_once(const std::optional<std::chrono::nanoseconds> &timeout) {
  pollfd fds[3];
  Capture *sources[2];
  nfds_t count = 0;
  for (Capture *capture : {&out_, &err_}) {
    if (capture->fd >= 0) {
      sources[count] = capture;
      fds[count++] = {capture->fd, POLLIN, 0};
    }
  }
  nfds_t pipes = count;
  if (!returncode_) {
    fds[count++] = {pidfd_, POLLIN, 0};
  }
  if (count == 0) {
    return;
  }
  timespec limit{};
  if (timeout) {
    auto left = std::max(*timeout, std::chrono::nanoseconds::zero()).count();
    limit.tv_sec = static_cast<time_t>(left / 1'000'000'000);
    limit.tv_nsec = static_cast<long>(left % 1'000'000'000);
  }
  if (ppoll(fds, count, timeout ? &limit : nullptr, nullptr) < 0) {
    if (errno == EINTR) {
      return;
    }
    throw os_error(errno);
  }
  for (nfds_t i = 0; i < pipes; ++i) {
    if (fds[i].revents == 0) {
      continue;
    }
    char buffer[65536];
    ssize_t n = ::read(sources[i]->fd, buffer, sizeof buffer);
    if (n > 0) {
      sources[i]->text.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0) {
      close_fd(sources[i]->fd);
    } else if (errno != EINTR && errno != EAGAIN) {
      throw os_error(errno);
    }
  }
  if (count > pipes && fds[pipes].revents != 0) {
    reap(WNOHANG);
  }
}

bool Process::wait_for(std::chrono::nanoseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!returncode_) {
    poll_once(deadline - std::chrono::steady_clock::now());
    if (!returncode_ && std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
  }
  return true;
}

CompletedProcess Process::finish() {
  while (out_.fd >= 0 || err_.fd >= 0 || !returncode_) {
    poll_once(std::nullopt);
  }
  CompletedProcess done{std::move(args_), *returncode_, std::nullopt, std::nullopt};
  if (out_.wanted) {
    done.stdout_text = normalise_newlines(std::move(out_.text));
  }
  if (err_.wanted) {
    done.stderr_text = normalise_newlines(std::move(err_.text));
  }
  return done;
}

CompletedProcess run_process(std::vector<std::string> args, const ProcessOptions &options) {
  Process process(std::move(args), options);
  return process.finish();
}

void check_returncode(const CompletedProcess &completed) {
  if (completed.returncode != 0) {
    throw CalledProcessError(completed.returncode, completed.args, completed.stdout_text,
                             completed.stderr_text);
  }
}

Environment current_environment() {
  Environment env;
  for (char **entry = environ; *entry != nullptr; ++entry) {
    const char *eq = std::strchr(*entry, '=');
    if (eq != nullptr) {
      env.emplace(std::string(*entry, static_cast<std::size_t>(eq - *entry)), std::string(eq + 1));
    }
  }
  return env;
}

} // namespace tarvo::venv
