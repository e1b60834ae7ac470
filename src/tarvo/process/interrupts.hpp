// Interrupts as users of make and ninja expect them. Ctrl-C reaches the children that share the
// terminal through its process group; SIGINT sent by a program, SIGTERM and SIGHUP are
// forwarded to every running child, and every signal to the children that run in process
// groups of their own (with everything they started). tarvo itself does not die: it waits until
// every child has ended, lets the display finish, and exits with 128 + the signal number. A second
// Ctrl-C kills the children at once, and a child that has not ended the grace period (timing.hpp)
// after the first signal is killed as well.
#pragma once

#include <chrono>
#include <optional>
#include <sys/types.h>

namespace tarvo::process {

// Raised instead of a result once an interrupted command has no child left; main ends the
// process with status 128 + signal.
struct Interrupted {
  int signal;
};

// Installs the handlers of SIGINT, SIGTERM and SIGHUP. Called once, as the command starts.
void handle_interrupts();

// The first interrupting signal received, or 0.
int interrupt_signal();

// Raises Interrupted once a signal has been received.
void check_interrupted();

// A descriptor that turns readable at the first interrupt and stays so, for poll.
int interrupt_fd();

// Sleeps for `period`, or until the first interrupt when that comes sooner.
void sleep_unless_interrupted(std::chrono::milliseconds period);

// When the children of an interrupted command are killed: the grace period after the first
// signal; none before any signal.
std::optional<std::chrono::steady_clock::time_point> kill_deadline();

// Every running child is registered from before it starts until it is reaped, so that a signal
// can reach it and no id is signalled after it was reused. A slot also carries the descriptor
// that SIGCHLD wakes where pidfd_open is not available (-1 otherwise).
class ChildSlot {
public:
  explicit ChildSlot(int wake_fd);
  ~ChildSlot();
  ChildSlot(const ChildSlot &) = delete;
  ChildSlot &operator=(const ChildSlot &) = delete;

  // The child has started, leading a process group of its own when `group`; a signal received
  // meanwhile is passed on to it.
  void started(pid_t pid, bool group);
  // The child has ended but is not reaped yet: no signal may reach its id any more.
  void ended();

private:
  int index_;
};

// Sends `signal` to every registered child, to the whole group of one that leads its own (used
// when a command unwinds with children left).
void signal_children(int signal);

// Makes SIGCHLD write to the wake descriptors of the slots (for waits without pidfd).
void wake_on_sigchld();

// Forgets the interrupt received, for a test that raised one in its own process once its
// children are gone.
void forget_interrupt();

} // namespace tarvo::process
