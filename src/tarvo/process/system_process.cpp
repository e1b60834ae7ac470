#include "tarvo/process/system_process.hpp"

#include "tarvo/console/console.hpp"
#include "tarvo/process/spawn.hpp"
#include "tarvo/process/timing.hpp"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tarvo::process {

namespace {

using Clock = std::chrono::steady_clock;

// pidfd_open is called directly: glibc 2.36 declares it without C linkage. Asked once, with
// our own id.
bool pidfd_available() {
  static const bool available = [] {
    return static_cast<bool>(Fd(static_cast<int>(syscall(SYS_pidfd_open, getpid(), 0))));
  }();
  return available;
}

// Empties the SIGCHLD pipe, which stays readable until it is read.
void drain_wake_pipe(int fd) {
  if (!pidfd_available()) {
    char drain[64];
    while (::read(fd, drain, sizeof drain) > 0) {
    }
  }
}

} // namespace

SystemProcess::SystemProcess(std::vector<std::string> args, const ProcessOptions &options)
    : args_(std::move(args)), tidy_up_(options.tidy_up),
      group_(options.stdout_mode != Redirect::Inherit && options.stderr_mode != Redirect::Inherit),
      started_at_(Clock::now()) {
  if (args_.empty()) {
    throw Error(ErrorKind::ValueError, "a child process needs a program to run");
  }
  // No new child once the command is being interrupted, but for the steps that tidy up.
  if (!tidy_up_) {
    check_interrupted();
  }
  bool pidfd = pidfd_available();
  if (!pidfd) {
    wake_on_sigchld();
    auto wake = make_pipe(O_CLOEXEC | O_NONBLOCK);
    exit_fd_ = std::move(wake.read);
    wake_write_ = std::move(wake.write);
  }
  slot_.emplace(wake_write_.get());
  if (options.stdout_mode == Redirect::Inherit || options.stderr_mode == Redirect::Inherit) {
    // Text we have buffered must reach the shared stream before the child's.
    console::flush();
  }
  auto spawned = spawn(args_, options, group_);
  pid_ = spawned.pid;
  if (!tidy_up_) {
    slot_->started(pid_, group_);
  }
  if (pidfd) {
    // Safe to open now: the child's id stays reserved until we reap it.
    exit_fd_ = Fd(static_cast<int>(syscall(SYS_pidfd_open, pid_, 0)));
    if (!exit_fd_) {
      int err = errno;
      signal(SIGKILL);
      reap();
      throw os_error(err);
    }
  }
  if (spawned.out) {
    out_.emplace(std::move(spawned.out));
  }
  if (spawned.err) {
    err_.emplace(std::move(spawned.err));
  }
}

SystemProcess::~SystemProcess() { end_child(); }

void SystemProcess::end_child() {
  if (reaped_ || pid_ <= 0) {
    return;
  }
  out_.reset();
  err_.reset();
  try {
    if (!check_ended()) {
      signal(SIGTERM);
      auto deadline = Clock::now() + timing().grace_period;
      while (!check_ended()) {
        auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero()) {
          signal(SIGKILL);
          left = std::chrono::hours(1);
        }
        pollfd fd{exit_fd_.get(), POLLIN, 0};
        ::poll(&fd, 1,
               static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count()));
        drain_wake_pipe(exit_fd_.get());
      }
    }
    // What the leader of a group left running goes with it.
    if (group_) {
      signal(SIGKILL);
    }
    reap();
  } catch (...) {
    // Nothing may escape a destructor; the last resort still leaves no zombie.
    signal(SIGKILL);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
}

void SystemProcess::signal(int signal) {
  if (!reaped_) {
    ::kill(group_ ? -pid_ : pid_, signal);
  }
}

std::optional<Clock::time_point> SystemProcess::deadline() const {
  if (tidy_up_) {
    return started_at_ + timing().grace_period;
  }
  return kill_deadline();
}

bool SystemProcess::check_ended() {
  if (returncode_) {
    return true;
  }
  siginfo_t info{};
  // Looked at without reaping, so that the id is unregistered before it can be reused.
  while (waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
    if (errno != EINTR) {
      throw os_error(errno);
    }
  }
  if (info.si_pid == 0) {
    return false;
  }
  returncode_ = info.si_code == CLD_EXITED ? info.si_status : -info.si_status;
  if (!group_) {
    reap();
  }
  return true;
}

void SystemProcess::reap() {
  if (reaped_) {
    return;
  }
  slot_->ended();
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0) {
    if (errno != EINTR) {
      throw os_error(errno);
    }
  }
  reaped_ = true;
  if (!returncode_) {
    returncode_ = WIFSIGNALED(status) ? -WTERMSIG(status) : WEXITSTATUS(status);
  }
}

void SystemProcess::poll_once(std::optional<std::chrono::nanoseconds> timeout) {
  if (auto deadline = this->deadline()) {
    auto left = *deadline - Clock::now();
    if (left <= Clock::duration::zero()) {
      if (!killed_) {
        // A group goes whole, also when its leader has ended before it.
        signal(SIGKILL);
        killed_ = true;
      }
      if (returncode_) {
        // Past the grace period no descendant holding our pipes is waited for.
        for (auto *capture : {&out_, &err_}) {
          if (*capture) {
            (*capture)->close();
          }
        }
      }
    } else if (!timeout || left < *timeout) {
      timeout = std::chrono::ceil<std::chrono::nanoseconds>(left);
    }
  }

  pollfd fds[4];
  Capture *sources[2];
  nfds_t count = 0;
  for (auto *capture : {&out_, &err_}) {
    if (*capture && (*capture)->open()) {
      sources[count] = &**capture;
      fds[count++] = {(*capture)->fd(), POLLIN, 0};
    }
  }
  const nfds_t pipes = count;
  std::optional<nfds_t> exit_index, interrupt_index;
  if (!returncode_) {
    exit_index = count;
    fds[count++] = {exit_fd_.get(), POLLIN, 0};
  }
  if (!tidy_up_ && !interrupt_seen_ && interrupt_fd() >= 0) {
    interrupt_index = count;
    fds[count++] = {interrupt_fd(), POLLIN, 0};
  }
  if (pipes == 0 && !exit_index) {
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
    if (fds[i].revents != 0) {
      sources[i]->read_available();
    }
  }
  if (exit_index && fds[*exit_index].revents != 0) {
    drain_wake_pipe(exit_fd_.get());
    check_ended();
  }
  if (interrupt_index && fds[*interrupt_index].revents != 0) {
    interrupt_seen_ = true;
  }
}

bool SystemProcess::wait_for(std::chrono::nanoseconds timeout) {
  auto deadline = Clock::now() + timeout;
  while (!returncode_) {
    poll_once(deadline - Clock::now());
    if (!returncode_ && Clock::now() >= deadline) {
      return false;
    }
  }
  return true;
}

CompletedProcess SystemProcess::finish() {
  auto open = [](const std::optional<Capture> &capture) { return capture && capture->open(); };
  while (!returncode_ || open(out_) || open(err_)) {
    poll_once(std::nullopt);
  }
  reap();
  CompletedProcess done{args_, *returncode_, std::nullopt, std::nullopt};
  if (out_) {
    done.stdout_text = out_->take();
  }
  if (err_) {
    done.stderr_text = err_->take();
  }
  if (!tidy_up_) {
    check_interrupted();
  }
  return done;
}

std::unique_ptr<Child> SystemLauncher::start(std::vector<std::string> args,
                                             const ProcessOptions &options) {
  return std::make_unique<SystemProcess>(std::move(args), options);
}

Launcher &system_launcher() {
  static SystemLauncher launcher;
  return launcher;
}

} // namespace tarvo::process
