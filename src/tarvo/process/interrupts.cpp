#include "tarvo/process/interrupts.hpp"

#include "tarvo/error.hpp"
#include "tarvo/fd.hpp"
#include "tarvo/process/timing.hpp"

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

namespace tarvo::process {

namespace {

// A repeated signal this soon after the first is the same interrupt delivered twice (to tarvo
// and, through its process group, once more), not a second Ctrl-C.
constexpr long long REPEAT_WINDOW_NS = 200'000'000;

struct Slot {
  std::atomic<bool> taken{false};
  std::atomic<pid_t> pid{0};
  // The child leads a process group of its own: signals go to the whole group.
  std::atomic<bool> group{false};
  std::atomic<int> wake{-1};
  // Signal handlers using `wake` at this moment; the slot's owner waits for them before it
  // closes the descriptor, so a handler never writes to a descriptor reused meanwhile.
  std::atomic<int> users{0};
};

std::array<Slot, 128> slots;

std::atomic<int> received{0};       // interrupting signals so far
std::atomic<int> first_signal{0};   // the signal that ends the command
std::atomic<int> forwarded{0};      // the signal passed on to every child, 0 for none
std::atomic<int> to_groups{0};      // the signal passed on to children in groups of their own
std::atomic<long long> first_at{0}; // CLOCK_MONOTONIC nanoseconds of the first signal
Fd notify_read, notify_write;       // readable from the first interrupt on

long long monotonic_ns() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// Only async-signal-safe calls from here to the end of on_sigchld.

// A child in a group of its own gets the signal with its whole group, and is continued in case
// it was stopped reading a terminal that is not its own.
void signal_child(pid_t pid, bool group, int signal) {
  if (!group) {
    ::kill(pid, signal);
    return;
  }
  ::kill(-pid, signal);
  if (signal != SIGKILL) {
    ::kill(-pid, SIGCONT);
  }
}

// Every registered child, or only those in groups of their own.
void signal_all(int signal, bool groups_only = false) {
  for (auto &slot : slots) {
    pid_t pid = slot.pid.load();
    bool group = slot.group.load();
    if (pid > 0 && (group || !groups_only)) {
      signal_child(pid, group, signal);
    }
  }
}

void on_interrupt(int signal, siginfo_t *info, void *) {
  int saved = errno;
  long long now = monotonic_ns();
  // The terminal sends Ctrl-C to its whole foreground group: the children there have it
  // already, and only those in groups of their own need it passed on.
  bool terminal_has_sent_it = signal == SIGINT && info != nullptr && info->si_code == SI_KERNEL;
  if (received.fetch_add(1) == 0) {
    first_at.store(now);
    first_signal.store(signal);
    to_groups.store(signal);
    if (!terminal_has_sent_it) {
      forwarded.store(signal);
    }
    [[maybe_unused]] auto n = ::write(notify_write.get(), "!", 1);
  } else if (signal == SIGINT && now - first_at.load() > REPEAT_WINDOW_NS) {
    signal_all(SIGKILL);
    errno = saved;
    return;
  }
  signal_all(signal, terminal_has_sent_it);
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

// A signal ignored when tarvo started (nohup, a background job of a script) stays ignored.
void install(int signal, void (*handler)(int, siginfo_t *, void *)) {
  struct sigaction previous {};
  if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) {
    return;
  }
  struct sigaction action {};
  action.sa_sigaction = handler;
  action.sa_flags = SA_SIGINFO | SA_RESTART;
  sigemptyset(&action.sa_mask);
  if (sigaction(signal, &action, nullptr) != 0) {
    throw os_error(errno);
  }
}

} // namespace

void handle_interrupts() {
  if (notify_read) {
    return;
  }
  auto notify = make_pipe(O_CLOEXEC | O_NONBLOCK);
  notify_read = std::move(notify.read);
  notify_write = std::move(notify.write);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    install(signal, on_interrupt);
  }
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

std::optional<std::chrono::steady_clock::time_point> kill_deadline() {
  // Read alone: set once, by the first signal, after which the other fields may still be on
  // their way.
  long long first = first_at.load();
  if (first == 0) {
    return std::nullopt;
  }
  // steady_clock is CLOCK_MONOTONIC on Linux.
  return std::chrono::steady_clock::time_point(std::chrono::nanoseconds(first)) +
         timing().grace_period;
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
  slot.group.store(false);
  slot.wake.store(-1);
  while (slot.users.load() != 0) {
    sched_yield();
  }
  slot.taken.store(false);
}

void ChildSlot::started(pid_t pid, bool group) {
  auto &slot = slots[static_cast<std::size_t>(index_)];
  slot.group.store(group);
  slot.pid.store(pid);
  // A signal that came between the check before the start and now has not reached it.
  if (int signal = group ? to_groups.load() : forwarded.load()) {
    signal_child(pid, group, signal);
  }
}

void ChildSlot::ended() { slots[static_cast<std::size_t>(index_)].pid.store(0); }

void signal_children(int signal) { signal_all(signal); }

void wake_on_sigchld() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction action {};
    action.sa_handler = on_sigchld;
    action.sa_flags = SA_RESTART | SA_NOCLDSTOP;
    sigemptyset(&action.sa_mask);
    if (sigaction(SIGCHLD, &action, nullptr) != 0) {
      throw os_error(errno);
    }
  });
}

void forget_interrupt() {
  received.store(0);
  first_signal.store(0);
  forwarded.store(0);
  to_groups.store(0);
  first_at.store(0);
  char drain[64];
  while (notify_read && ::read(notify_read.get(), drain, sizeof drain) > 0) {
  }
}

} // namespace tarvo::process
