#include "tarvo/process/interrupts.hpp"

#include "tarvo/error.hpp"
#include "tarvo/fd.hpp"
#include "tarvo/platform.hpp"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>

#if TARVO_LINUX_CALLS
#include <sys/syscall.h>
#endif

namespace tarvo::process {

namespace {

// A repeated signal this soon after the first is the same interrupt delivered twice (to tarvo
// and, through its process group, once more), not a second Ctrl-C.
constexpr long long REPEAT_WINDOW_NS = 200'000'000;

struct Slot {
  std::atomic<bool> taken{false};
  // Stored last and cleared first: while it is 0 no signal reaches the child.
  std::atomic<pid_t> pid{0};
  // The child leads a process group of its own: signals go to the whole group.
  std::atomic<bool> group{false};
  // A tidy-up step: only a second Ctrl-C's kill reaches it.
  std::atomic<bool> tidy_up{false};
  std::atomic<int> pidfd{-1};
  std::atomic<int> wake{-1};
  // Signal handlers reading the slot at this moment; its owner waits for them before the child
  // is reaped or the descriptors are closed, so a handler never signals a reused id or writes
  // to a reused descriptor.
  std::atomic<int> users{0};
};

std::array<Slot, 128> slots;

std::atomic<bool> claimed{false};   // the first interrupting signal has been taken
std::atomic<int> first_signal{0};   // the signal that ends the command
std::atomic<long long> first_at{0}; // CLOCK_MONOTONIC nanoseconds of the first signal
std::atomic<int> kills{0};          // second Ctrl-Cs, each of which kills every child
Fd notify_read, notify_write;       // readable from the first interrupt on

long long monotonic_ns() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// Only async-signal-safe calls from here to the end of on_sigchld: they run in the handlers.

// Whether the terminal sent the signal (Ctrl-C) rather than a program. Linux says so with a code
// of its own; elsewhere a signal no program sent is the terminal's.
bool sent_by_terminal(const siginfo_t *info) {
  if (info == nullptr) {
    return false;
  }
#ifdef SI_KERNEL
  return info->si_code == SI_KERNEL;
#else
  return info->si_code != SI_USER && info->si_code != SI_QUEUE;
#endif
}

// Signals the process behind `pidfd`, which a reused id can never be; false where the system
// has no pidfds (the caller then signals the id, which the slot's users count keeps from being
// reused meanwhile).
bool signal_through_pidfd(int pidfd, int signal) {
#if TARVO_LINUX_CALLS
  if (pidfd >= 0) {
    ::syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0);
    return true;
  }
#else
  (void)pidfd;
  (void)signal;
#endif
  return false;
}

void deliver(pid_t pid, bool group, int pidfd, int signal) {
  if (!group) {
    if (!signal_through_pidfd(pidfd, signal)) {
      ::kill(pid, signal);
    }
    return;
  }
  ::kill(-pid, signal);
  if (signal != SIGKILL && signal != SIGCONT) {
    ::kill(-pid, SIGCONT);
  }
}

// Every registered child, or only those in groups of their own.
void signal_all(int signal, bool groups_only = false) {
  for (auto &slot : slots) {
    slot.users.fetch_add(1);
    pid_t pid = slot.pid.load();
    if (pid > 0 && (signal == SIGKILL || !slot.tidy_up.load())) {
      bool group = slot.group.load();
      if (group || !groups_only) {
        deliver(pid, group, slot.pidfd.load(), signal);
      }
    }
    slot.users.fetch_sub(1);
  }
}

void on_interrupt(int signal, siginfo_t *info, void *) {
  int saved = errno;
  long long now = monotonic_ns();
  // The terminal sends Ctrl-C to its whole foreground group: the children there have it
  // already, and only those in groups of their own need it passed on.
  bool terminal_has_sent_it = signal == SIGINT && sent_by_terminal(info);
  if (!claimed.exchange(true)) {
    first_at.store(now);
    first_signal.store(signal);
    [[maybe_unused]] auto n = ::write(notify_write.get(), "!", 1);
    signal_all(signal, terminal_has_sent_it);
  } else if (long long first = first_at.load();
             signal == SIGINT && first != 0 && now - first > REPEAT_WINDOW_NS) {
    kills.fetch_add(1);
    signal_all(SIGKILL);
  } else {
    signal_all(signal, terminal_has_sent_it);
  }
  errno = saved;
}

void on_sigchld(int) {
  int saved = errno;
  for (auto &slot : slots) {
    slot.users.fetch_add(1);
    int fd = slot.wake.load();
    if (fd >= 0) {
      [[maybe_unused]] auto n = ::write(fd, "c", 1);
    }
    slot.users.fetch_sub(1);
  }
  errno = saved;
}

// The signals that interrupt a command, and the handlers Interrupts replaced, which it puts back.
constexpr std::array<int, 3> HANDLED = {SIGINT, SIGTERM, SIGHUP};
std::array<std::optional<struct sigaction>, HANDLED.size()> replaced;

// A signal ignored when tarvo started (nohup, a background job of a script) stays ignored.
void install(int signal, void (*handler)(int, siginfo_t *, void *),
             std::optional<struct sigaction> &previous) {
  struct sigaction before {};
  if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) {
    return;
  }
  struct sigaction action {};
  action.sa_sigaction = handler;
  action.sa_flags = SA_SIGINFO | SA_RESTART;
  sigemptyset(&action.sa_mask);
  if (sigaction(signal, &action, nullptr) != 0) {
    throw os_error(errno);
  }
  previous = before;
}

void wait_for_handlers(const Slot &slot) {
  while (slot.users.load() != 0) {
    sched_yield();
  }
}

} // namespace

Interrupts::Interrupts() {
  if (notify_read) {
    throw Error(ErrorKind::RuntimeError, "interrupts are already handled");
  }
  auto notify = make_pipe(O_CLOEXEC | O_NONBLOCK);
  notify_read = std::move(notify.read);
  notify_write = std::move(notify.write);
  for (std::size_t i = 0; i < HANDLED.size(); ++i) {
    install(HANDLED[i], on_interrupt, replaced[i]);
  }
}

Interrupts::~Interrupts() {
  for (std::size_t i = 0; i < HANDLED.size(); ++i) {
    if (replaced[i]) {
      sigaction(HANDLED[i], &*replaced[i], nullptr);
      replaced[i].reset();
    }
  }
  claimed.store(false);
  first_signal.store(0);
  first_at.store(0);
  kills.store(0);
  notify_write.close();
  notify_read.close();
}

int interrupt_signal() { return first_signal.load(); }

void check_interrupted() {
  if (int signal = interrupt_signal()) {
    throw Interrupted{signal};
  }
}

int interrupt_fd() { return notify_read.get(); }

void sleep_unless_interrupted(std::chrono::milliseconds period) {
  pollfd fd{notify_read.get(), POLLIN, 0};
  if (::poll(&fd, notify_read ? 1 : 0, static_cast<int>(period.count())) < 0 && errno != EINTR) {
    throw os_error(errno);
  }
}

std::optional<std::chrono::steady_clock::time_point>
kill_deadline(std::chrono::milliseconds grace) {
  // Read alone: set once, by the first signal, before the signal itself is published.
  long long first = first_at.load();
  if (first == 0) {
    return std::nullopt;
  }
  // steady_clock is CLOCK_MONOTONIC on Linux and on the BSDs; on macOS it is the same uptime
  // clock, which CLOCK_MONOTONIC also reads.
  return std::chrono::steady_clock::time_point(std::chrono::nanoseconds(first)) + grace;
}

std::optional<std::chrono::steady_clock::time_point> cleanup_deadline(const Timing &timing) {
  return kill_deadline(timing.cleanup_period);
}

bool cleanup_abandoned(const Timing &timing) {
  auto deadline = cleanup_deadline(timing);
  return kills.load() != 0 || (deadline && std::chrono::steady_clock::now() >= *deadline);
}

ChildSlot::ChildSlot(int wake_fd) : index_(-1) {
  for (std::size_t i = 0; i < slots.size(); ++i) {
    bool expected = false;
    if (slots[i].taken.compare_exchange_strong(expected, true)) {
      index_ = static_cast<int>(i);
      slots[i].wake.store(wake_fd);
      return;
    }
  }
  throw Error(ErrorKind::RuntimeError, "too many child processes at once");
}

ChildSlot::~ChildSlot() {
  auto &slot = slots[static_cast<std::size_t>(index_)];
  slot.pid.store(0);
  slot.wake.store(-1);
  wait_for_handlers(slot);
  slot.group.store(false);
  slot.tidy_up.store(false);
  slot.pidfd.store(-1);
  slot.taken.store(false);
}

void ChildSlot::started(pid_t pid, bool group, int pidfd, bool tidy_up) {
  pid_ = pid;
  group_ = group;
  tidy_up_ = tidy_up;
  auto &slot = slots[static_cast<std::size_t>(index_)];
  slot.group.store(group);
  slot.tidy_up.store(tidy_up);
  slot.pidfd.store(pidfd);
  slot.pid.store(pid);
  if (tidy_up) {
    // Abandoned meanwhile: a second Ctrl-C came just before it started.
    if (kills.load() != 0) {
      deliver(pid, group, pidfd, SIGKILL);
    }
  } else if (int signal = first_signal.load()) {
    deliver(pid, group, pidfd, signal);
  }
}

void ChildSlot::hold() {
  auto &slot = slots[static_cast<std::size_t>(index_)];
  slot.pid.store(0);
  wait_for_handlers(slot);
  held_signal_ = first_signal.load();
  held_kills_ = kills.load();
}

void ChildSlot::resume() {
  if (pid_ <= 0) {
    return;
  }
  slots[static_cast<std::size_t>(index_)].pid.store(pid_);
  if (kills.load() != held_kills_) {
    deliver(pid_, group_, pidfd_, SIGKILL);
  } else if (int signal = first_signal.load(); signal != 0 && held_signal_ == 0 && !tidy_up_) {
    deliver(pid_, group_, pidfd_, signal);
  }
}

void send_signal(pid_t pid, bool group, int pidfd, int signal) {
  deliver(pid, group, pidfd, signal);
}

void signal_children(int signal) { signal_all(signal); }

void wake_on_sigchld() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction action {};
    action.sa_handler = on_sigchld;
    // Stops wake the waits too: a child stopped to read the terminal is handed it.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    if (sigaction(SIGCHLD, &action, nullptr) != 0) {
      throw os_error(errno);
    }
  });
}

} // namespace tarvo::process
