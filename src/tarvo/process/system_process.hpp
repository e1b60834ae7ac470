// The real child process behind the launcher: started by spawn(), woken by SIGCHLD (for its end
// or a stop), its captured streams read while it runs. A child that leads a process group of its
// own is followed until the group is gone: what the leader leaves is ended with it. A child
// that stops to use a terminal it does not have is lent the terminal, when it is ours.
#pragma once

#include "tarvo/console/console.hpp"
#include "tarvo/fd.hpp"
#include "tarvo/process/capture.hpp"
#include "tarvo/process/exit_watch.hpp"
#include "tarvo/process/interrupts.hpp"
#include "tarvo/process/process.hpp"
#include "tarvo/process/timing.hpp"

#include <memory>
#include <optional>
#include <sys/types.h>

namespace tarvo::process {

class SystemProcess final : public Child {
public:
  SystemProcess(std::vector<std::string> args, const ProcessOptions &options,
                const Timing &timing = {});
  // A child still running is sent SIGTERM (it or its group), killed after the grace period, and
  // reaped with what it left in its group: none outlives the command that started it.
  ~SystemProcess() override;

  bool wait_for(std::chrono::nanoseconds timeout) override;
  CompletedProcess finish() override;

  pid_t pid() const { return pid_; }

private:
  using Clock = std::chrono::steady_clock;

  enum class State {
    Running, // the child runs
    Members, // the child, which led a group, has ended; what it left in the group is ending
    Ended,   // the child and its group are gone; output may still be drained
  };

  // One sleep in poll until output, a SIGCHLD, an interrupt or the time-out (none: no limit),
  // then a look at the child.
  void poll_once(std::optional<Clock::duration> timeout);
  // Shortens the time-out to the deadlines ahead, killing the child once one has passed; false
  // when there is nothing more to wait for (the short drain after the end is over).
  bool bound_sleep(std::optional<Clock::duration> &timeout);
  // Sleeps in poll on the captured pipes, the SIGCHLD pipe, the group's watch and the
  // interrupt, and reads what the pipes hold.
  void sleep_in_poll(std::optional<Clock::duration> timeout);
  // Notes what became of the child, and of its group, since the last look.
  void update();
  void leader_ended();
  // Reaps the members of the group that have ended; true once the group is gone.
  bool reap_members();
  // Where members do not come to us: watches the ends of those in the group now.
  void watch_members();
  void group_gone();
  // The child stopped to read from the terminal or write to it.
  void stopped_for_terminal();
  // Sends `signal` to the child, or to its whole group.
  void signal(int signal);
  // When the child (or what it left) is killed: the earliest of the interrupt's grace period,
  // an own step's, the grace after an unwind asked it to end, and the grace after its leader's end.
  std::optional<Clock::time_point> deadline() const;
  void end_child();

  std::vector<std::string> args_;
  Timing timing_;
  bool tidy_up_;
  bool group_; // leads a process group of its own
  Clock::time_point started_at_;
  pid_t pid_ = -1;
  Fd pidfd_;                      // where the system has them: signals reach this process only
  Fd wake_read_, wake_write_;     // the pipe SIGCHLD writes to
  std::optional<ChildSlot> slot_; // released before the descriptors it names are closed
  std::optional<Capture> out_, err_;
  ExitWatch exit_watch_; // the group's members, once its leader has ended (macOS)
  State state_ = State::Running;
  std::optional<int> returncode_; // known once the child has ended
  bool leader_reaped_ = false;
  std::optional<Clock::time_point> members_deadline_, end_deadline_, ended_at_;
  std::unique_ptr<console::TerminalLoan> loan_;
  bool was_lent_ = false;
  bool stopped_without_terminal_ = false;
  bool interrupt_seen_ = false;
  bool killed_ = false;
};

// Starts real children, which it ends after the periods it was given.
class SystemLauncher final : public Launcher {
public:
  explicit SystemLauncher(const Timing &timing = {}) : timing_(timing) {}
  std::unique_ptr<Child> start(std::vector<std::string> args,
                               const ProcessOptions &options) override;

private:
  Timing timing_;
};

} // namespace tarvo::process
