#include "tarvo/process/system_process.hpp"

#include "tarvo/platform.hpp"
#include "tarvo/process/exit_watch.hpp"
#include "tarvo/process/groups.hpp"
#include "tarvo/process/processes.hpp"
#include "tarvo/process/spawn.hpp"
#include "tarvo/process/timing.hpp"
#include "tarvo/repr.hpp"

#include <cerrno>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <fmt/format.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tarvo::process {

namespace {

using Clock = std::chrono::steady_clock;

// How often a group whose leader has ended is looked at where its members do not come to us:
// often where nothing wakes the wait when one ends, seldom where the ends of the members known
// are watched (ExitWatch), only for those started since.
constexpr auto GROUP_POLL = std::chrono::milliseconds(20);
constexpr auto WATCHED_GROUP_POLL = std::chrono::milliseconds(250);

// Empties the SIGCHLD pipe, which stays readable until it is read.
void drain(int fd) {
  char bytes[64];
  while (::read(fd, bytes, sizeof bytes) > 0) {
  }
}

int poll_milliseconds(std::optional<Clock::duration> timeout) {
  if (!timeout) {
    return -1;
  }
  auto ms = std::chrono::ceil<std::chrono::milliseconds>(std::max(*timeout, Clock::duration{}));
  return static_cast<int>(std::min<std::chrono::milliseconds::rep>(ms.count(), INT_MAX));
}

bool shares_a_stream(const ProcessOptions &options) {
  return options.stdout_mode == Redirect::Inherit || options.stderr_mode == Redirect::Inherit;
}

} // namespace

SystemProcess::SystemProcess(std::vector<std::string> args, const ProcessOptions &options,
                             const Timing &timing)
    : args_(std::move(args)), timing_(timing), tidy_up_(options.tidy_up),
      group_(!shares_a_stream(options) || !console::terminal_is_ours()), started_at_(Clock::now()) {
  if (args_.empty()) {
    throw Error(ErrorKind::ValueError, "a child process needs a program to run");
  }
  // No new child once the command is being interrupted, but for the steps that tidy up.
  if (!tidy_up_) {
    check_interrupted();
  }
  wake_on_sigchld();
  orphans_come_to_us();
  auto wake = make_pipe(O_CLOEXEC | O_NONBLOCK);
  wake_read_ = std::move(wake.read);
  wake_write_ = std::move(wake.write);
  slot_.emplace(wake_write_.get());
  if (shares_a_stream(options)) {
    // Text we have buffered must reach the shared stream before the child's.
    console::flush();
  }
  auto spawned = spawn(args_, options, group_);
  pid_ = spawned.pid;
  // Safe to open now: the child's id stays taken until we reap it.
  pidfd_ = open_pidfd(pid_);
  slot_->started(pid_, group_, pidfd_.get(), tidy_up_);
  if (spawned.out) {
    out_.emplace(std::move(spawned.out));
  }
  if (spawned.err) {
    err_.emplace(std::move(spawned.err));
  }
}

SystemProcess::~SystemProcess() { end_child(); }

void SystemProcess::end_child() {
  if (state_ == State::Ended || pid_ <= 0) {
    return;
  }
  try {
    // Nothing more of its output is wanted.
    out_.reset();
    err_.reset();
    if (state_ == State::Running) {
      signal(SIGTERM);
      end_deadline_ = Clock::now() + timing_.grace_period;
    }
    while (state_ != State::Ended) {
      poll_once(std::nullopt);
    }
  } catch (...) {
    // Nothing may escape a destructor; the last resort still leaves no zombie.
    if (group_) {
      ::kill(-pid_, SIGKILL);
    } else if (!leader_reaped_) {
      ::kill(pid_, SIGKILL);
    }
    int status = 0;
    while (!leader_reaped_ && ::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
}

void SystemProcess::signal(int signal) {
  if (state_ == State::Ended || (!group_ && leader_reaped_)) {
    return;
  }
  // A group's id stays taken while its leader is unreaped or members are left.
  send_signal(pid_, group_, pidfd_.get(), signal);
}

std::optional<Clock::time_point> SystemProcess::deadline() const {
  // A tidy-up step gets the grace period from its own start, and no more than the clean-up after
  // an interrupt has left.
  std::optional<Clock::time_point> earliest =
      tidy_up_ ? std::optional(started_at_ + timing_.grace_period)
               : kill_deadline(timing_.grace_period);
  if (auto cleanup = cleanup_deadline(timing_); tidy_up_ && cleanup && *cleanup < *earliest) {
    earliest = cleanup;
  }
  for (const auto &candidate :
       {end_deadline_, state_ == State::Members ? members_deadline_ : std::nullopt}) {
    if (candidate && (!earliest || *candidate < *earliest)) {
      earliest = candidate;
    }
  }
  return earliest;
}

void SystemProcess::update() {
  if (state_ == State::Members) {
    if (reap_members()) {
      group_gone();
    }
    return;
  }
  if (state_ != State::Running) {
    return;
  }
  siginfo_t info{};
  // Looked at without reaping, so that the id is held back from signals before it can be reused.
  while (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WSTOPPED | WNOHANG | WNOWAIT) !=
         0) {
    if (errno != EINTR) {
      throw os_error(errno);
    }
  }
  if (info.si_pid == 0) {
    return;
  }
  if (info.si_code == CLD_STOPPED || info.si_code == CLD_TRAPPED) {
    // Taken, so that the same stop is not reported again.
    siginfo_t taken{};
    while (::waitid(P_PID, static_cast<id_t>(pid_), &taken, WSTOPPED | WNOHANG) != 0 &&
           errno == EINTR) {
    }
    if (group_ && (info.si_status == SIGTTIN || info.si_status == SIGTTOU)) {
      stopped_for_terminal();
    }
    return;
  }
  returncode_ = info.si_code == CLD_EXITED ? info.si_status : -info.si_status;
  if (group_) {
    leader_ended();
    return;
  }
  slot_->hold();
  reap(pid_);
  leader_reaped_ = true;
  group_gone();
}

void SystemProcess::leader_ended() {
  // What the leader left in its group goes with it: asked to end at once (the unreaped leader
  // keeps the group's id taken), killed once the grace period is over.
  signal(SIGTERM);
  members_deadline_ = Clock::now() + timing_.grace_period;
  slot_->hold();
  reap(pid_);
  leader_reaped_ = true;
  if (group_empty(pid_)) {
    group_gone();
    return;
  }
  slot_->resume();
  state_ = State::Members;
  watch_members();
  // Members that ended with the leader (a group killed whole) have sent their SIGCHLD already,
  // and it was read with the leader's: they are reaped now, or no wake would come for them.
  if (reap_members()) {
    group_gone();
  }
}

void SystemProcess::watch_members() {
  if (orphans_come_to_us() || !ExitWatch::available()) {
    return;
  }
  exit_watch_.drain();
  for (pid_t member : group_members(pid_)) {
    exit_watch_.watch(member);
  }
}

bool SystemProcess::reap_members() {
  if (!orphans_come_to_us()) {
    slot_->hold();
    if (group_empty(pid_)) {
      return true;
    }
    slot_->resume();
    watch_members();
    return false;
  }
  for (;;) {
    siginfo_t info{};
    if (::waitid(P_PGID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
      if (errno == EINTR) {
        continue;
      }
      if (errno == ECHILD) {
        slot_->hold();
        return true;
      }
      throw os_error(errno);
    }
    if (info.si_pid == 0) {
      return false;
    }
    // The last member reaped frees the group's id: no signal may be on its way to it then.
    slot_->hold();
    reap(info.si_pid);
    if (group_empty(pid_)) {
      return true;
    }
    slot_->resume();
  }
}

void SystemProcess::group_gone() {
  state_ = State::Ended;
  ended_at_ = Clock::now();
  // The terminal comes back once nothing of the step is left to use it.
  loan_.reset();
}

void SystemProcess::stopped_for_terminal() {
  if (!loan_ && !stopped_without_terminal_) {
    loan_ = console::TerminalLoan::lend(pid_);
    if (!loan_) {
      // Nobody can answer it, and it would wait for ever: the step ends here, and finish()
      // says why.
      stopped_without_terminal_ = true;
      signal(SIGKILL);
      killed_ = true;
      return;
    }
    was_lent_ = true;
  }
  ::kill(-pid_, SIGCONT);
}

bool SystemProcess::bound_sleep(std::optional<Clock::duration> &timeout) {
  auto now = Clock::now();
  auto limit = [&timeout](Clock::duration bound) {
    if (!timeout || bound < *timeout) {
      timeout = bound;
    }
  };
  if (state_ != State::Ended) {
    if (auto deadline = this->deadline(); deadline && now >= *deadline) {
      if (!killed_) {
        // A group goes whole, also when its leader has ended before it.
        signal(SIGKILL);
        killed_ = true;
      }
    } else if (deadline) {
      limit(*deadline - now);
    }
    if (state_ == State::Members && !orphans_come_to_us()) {
      limit(exit_watch_.fd() >= 0 ? WATCHED_GROUP_POLL : GROUP_POLL);
    }
    return true;
  }
  // The step and its group are gone. What a process that left the group holds open is read for
  // a short while only, and not at all once the command's grace period is over.
  auto until = *ended_at_ + timing_.drain_period;
  if (killed_ || now >= until) {
    for (auto *capture : {&out_, &err_}) {
      if (*capture) {
        (*capture)->close();
      }
    }
    return false;
  }
  limit(until - now);
  return true;
}

void SystemProcess::sleep_in_poll(std::optional<Clock::duration> timeout) {
  pollfd fds[5];
  Capture *sources[2];
  nfds_t count = 0;
  for (auto *capture : {&out_, &err_}) {
    if (*capture && (*capture)->open()) {
      sources[count] = &**capture;
      fds[count++] = {(*capture)->fd(), POLLIN, 0};
    }
  }
  const nfds_t pipes = count;
  std::optional<nfds_t> wake_index, interrupt_index;
  if (state_ != State::Ended) {
    wake_index = count;
    fds[count++] = {wake_read_.get(), POLLIN, 0};
  }
  if (state_ == State::Members && exit_watch_.fd() >= 0) {
    fds[count++] = {exit_watch_.fd(), POLLIN, 0};
  }
  if (!tidy_up_ && !interrupt_seen_ && interrupt_fd() >= 0) {
    interrupt_index = count;
    fds[count++] = {interrupt_fd(), POLLIN, 0};
  }
  if (pipes == 0 && !wake_index) {
    return;
  }
  if (::poll(fds, count, poll_milliseconds(timeout)) < 0) {
    if (errno != EINTR) {
      throw os_error(errno);
    }
    for (nfds_t i = 0; i < count; ++i) {
      fds[i].revents = 0;
    }
  }
  for (nfds_t i = 0; i < pipes; ++i) {
    if (fds[i].revents != 0) {
      sources[i]->read_available();
    }
  }
  if (wake_index && fds[*wake_index].revents != 0) {
    drain(wake_read_.get());
  }
  if (interrupt_index && fds[*interrupt_index].revents != 0) {
    interrupt_seen_ = true;
  }
}

void SystemProcess::poll_once(std::optional<Clock::duration> timeout) {
  if (!bound_sleep(timeout)) {
    return;
  }
  sleep_in_poll(timeout);
  update();
}

bool SystemProcess::wait_for(std::chrono::nanoseconds timeout) {
  auto until = Clock::now() + timeout;
  const bool interrupted_before = interrupt_seen_;
  for (;;) {
    if (state_ == State::Ended) {
      return true;
    }
    auto left = until - Clock::now();
    if (left <= Clock::duration::zero() || interrupt_seen_ != interrupted_before) {
      return false;
    }
    poll_once(left);
  }
}

CompletedProcess SystemProcess::finish() {
  auto open = [](const std::optional<Capture> &capture) { return capture && capture->open(); };
  while (state_ != State::Ended || open(out_) || open(err_)) {
    poll_once(std::nullopt);
  }
  CompletedProcess done{args_, *returncode_, std::nullopt, std::nullopt};
  if (out_) {
    done.stdout_text = out_->take();
  }
  if (err_) {
    done.stderr_text = err_->take();
  }
  if (stopped_without_terminal_) {
    throw Error(ErrorKind::RuntimeError,
                fmt::format("Command '{}' stopped to use the terminal, which tarvo cannot hand "
                            "it: run tarvo in the foreground of a terminal to answer it",
                            repr(args_)));
  }
  if (!tidy_up_) {
    // Ctrl-C typed while the terminal was lent reached this child's group alone: the command
    // is interrupted as if tarvo had been sent it.
    if (was_lent_ && done.returncode == -SIGINT && interrupt_fd() >= 0) {
      ::raise(SIGINT);
    }
    check_interrupted();
  }
  return done;
}

std::unique_ptr<Child> SystemLauncher::start(std::vector<std::string> args,
                                             const ProcessOptions &options) {
  return std::make_unique<SystemProcess>(std::move(args), options, timing_);
}

} // namespace tarvo::process
