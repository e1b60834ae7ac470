// The real child process behind the launcher: started by spawn(), waited for in the kernel on
// a pidfd or, where pidfd_open is refused (old kernels, seccomp profiles), on a pipe that
// SIGCHLD writes to, with its captured streams read while it runs.
#pragma once

#include "tarvo/fd.hpp"
#include "tarvo/process/capture.hpp"
#include "tarvo/process/interrupts.hpp"
#include "tarvo/process/process.hpp"

#include <optional>
#include <sys/types.h>

namespace tarvo::process {

class SystemProcess final : public Child {
public:
  SystemProcess(std::vector<std::string> args, const ProcessOptions &options);
  // A child still running is sent SIGTERM, killed after the grace period, and reaped: none
  // outlives the command that started it.
  ~SystemProcess() override;

  bool wait_for(std::chrono::nanoseconds timeout) override;
  CompletedProcess finish() override;

  pid_t pid() const { return pid_; }

private:
  // One sleep in poll until output, the child's end, an interrupt or the time-out (none: no
  // limit).
  void poll_once(std::optional<std::chrono::nanoseconds> timeout);
  // Notes the child's end; true once it has ended. A group leader is reaped only once its
  // group is no longer signalled: until then its id, which names the group, cannot be reused.
  bool check_ended();
  void reap();
  // Sends `signal` to the child, or to its whole group.
  void signal(int signal);
  // When the child is killed: the interrupt's grace period, or a tidy-up step's own.
  std::optional<std::chrono::steady_clock::time_point> deadline() const;
  void end_child();

  std::vector<std::string> args_;
  bool tidy_up_; // a step of our own after an interrupt (ProcessOptions::tidy_up)
  bool group_;   // leads a process group of its own
  std::chrono::steady_clock::time_point started_at_;
  pid_t pid_ = -1;
  Fd exit_fd_;                    // pidfd, or the read end of the SIGCHLD pipe
  Fd wake_write_;                 // the write end of the SIGCHLD pipe, without pidfd
  std::optional<ChildSlot> slot_; // registered from before the start until reaped; released
                                  // before the pipe that SIGCHLD writes to is closed
  std::optional<Capture> out_, err_;
  std::optional<int> returncode_; // known once the child has ended
  bool reaped_ = false;
  bool interrupt_seen_ = false;
  bool killed_ = false;
};

class SystemLauncher final : public Launcher {
public:
  std::unique_ptr<Child> start(std::vector<std::string> args,
                               const ProcessOptions &options) override;
};

} // namespace tarvo::process
