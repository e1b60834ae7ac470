// Interrupts as users of make and ninja expect them. Ctrl-C reaches the children that share the
// terminal through its process group; SIGINT sent by a program, SIGTERM and SIGHUP are
// forwarded to every running child, and every signal to the children that run in process
// groups of their own (with everything they started). tarvo itself does not die: it waits until
// every child has ended, lets the display finish, and exits with 128 + the signal number. A second
// Ctrl-C kills the children at once, and a child that has not ended the grace period (timing.hpp)
// after the first signal is killed as well.
// A run that tidies up outside its own processes (a container on the engine) has a deadline
// for that too, and a second Ctrl-C gives it up.
#pragma once

#include "tarvo/process/timing.hpp"

#include <chrono>
#include <optional>
#include <sys/types.h>

namespace tarvo::process {

// Raised instead of a result once an interrupted command has no child left; main ends the
// process with status 128 + signal.
struct Interrupted {
  int signal;
};

// Handles SIGINT, SIGTERM and SIGHUP as above for as long as it lives; made once, by main,
// before the command runs. What it records (the first signal, the second Ctrl-Cs) is this run's:
// it is forgotten with the handlers, which are put back as they were. One at a time.
class Interrupts {
public:
  Interrupts();
  ~Interrupts();
  Interrupts(const Interrupts &) = delete;
  Interrupts &operator=(const Interrupts &) = delete;
};

// The first interrupting signal received, or 0.
int interrupt_signal();

// Raises Interrupted once a signal has been received.
void check_interrupted();

// A descriptor that turns readable at the first interrupt and stays so, for poll.
int interrupt_fd();

// Sleeps for `period`, or until the first interrupt when that comes sooner.
void sleep_unless_interrupted(std::chrono::milliseconds period);

// When the children of an interrupted command are killed: `grace` after the first signal; none
// before any signal.
std::optional<std::chrono::steady_clock::time_point> kill_deadline(std::chrono::milliseconds grace);

// When the clean-up after an interrupt must be over (Timing::cleanup_period after the first
// signal); none before any signal.
std::optional<std::chrono::steady_clock::time_point> cleanup_deadline(const Timing &timing);

// Whether the clean-up after an interrupt is to be given up: a second Ctrl-C came, or its
// deadline has passed. No tidy-up step starts then, and those running are killed.
bool cleanup_abandoned(const Timing &timing);

// Every running child is registered from before it starts until its last process is reaped, so
// that a signal can reach it and no id is signalled after it may have been reused. A slot also
// carries the descriptor that SIGCHLD wakes.
class ChildSlot {
public:
  explicit ChildSlot(int wake_fd);
  ~ChildSlot();
  ChildSlot(const ChildSlot &) = delete;
  ChildSlot &operator=(const ChildSlot &) = delete;

  // The child has started, leading a process group of its own when `group`; `pidfd` (or -1)
  // names it where the system has pidfds, so that a signal can only ever reach that process.
  // An interrupt received since the check before the start is passed on to it now: the
  // terminal may have sent its Ctrl-C before the child was there to get it. A step that tidies
  // up after an interrupt (`tidy_up`) gets no signal passed on, only the kill of a second Ctrl-C.
  void started(pid_t pid, bool group, int pidfd, bool tidy_up = false);
  // From now on no signal reaches the child or its group; returns once no handler is in the
  // middle of signalling it. Called before a process of it is reaped, so that its id (or the
  // group's) is never signalled after it may have been given to another process.
  void hold();
  // Signals reach the group again: its leader was reaped, and members remain, which keep its id
  // taken. What was forwarded to children meanwhile is passed on to it now.
  void resume();

private:
  int index_;
  pid_t pid_ = 0;
  bool group_ = false;
  bool tidy_up_ = false;
  int pidfd_ = -1;
  int held_signal_ = 0; // the first interrupt, as it was when the slot was held
  int held_kills_ = 0;  // second Ctrl-Cs before the slot was held
};

// Sends `signal` to a child: through its pidfd where it has one (or -1), to the whole group when
// it leads one of its own, which is then continued in case it was stopped (but by SIGKILL).
// Async-signal-safe.
void send_signal(pid_t pid, bool group, int pidfd, int signal);

// Sends `signal` to every registered child, to the whole group of one that leads its own (used
// when a command unwinds with children left).
void signal_children(int signal);

// Makes SIGCHLD, for an end or a stop, write to the wake descriptors of the slots. Once.
void wake_on_sigchld();

} // namespace tarvo::process
