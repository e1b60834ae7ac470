// The real child process behind the launcher: posix_spawn, with waits that sleep in the kernel
// on a pidfd or, where pidfd_open is refused (old kernels, seccomp profiles), on a pipe that
// SIGCHLD writes to.
#pragma once

#include "tarvo/process/interrupts.hpp"
#include "tarvo/process/process.hpp"

#include <optional>
#include <sys/types.h>

namespace tarvo::process {

class SystemProcess final : public Child {
public:
  SystemProcess(std::vector<std::string> args, const ProcessOptions &options);
  // A child still running is asked to end (SIGTERM), killed after the grace period, and reaped:
  // none outlives the command that started it.
  ~SystemProcess() override;

  bool wait_for(std::chrono::nanoseconds timeout) override;
  CompletedProcess finish() override;

  pid_t pid() const { return pid_; }

private:
  struct Capture;

  // One sleep in poll until output, the child's end, an interrupt or the time-out (none: no
  // limit).
  void poll_once(std::optional<std::chrono::nanoseconds> timeout);
  // Reaps the child once it has ended; true when it has.
  bool reap_if_ended();
  // Kills the child once an interrupt's grace period is over.
  void enforce_deadline();
  void end_child();

  // A descriptor closed with its owner.
  struct Descriptor {
    int fd = -1;
    Descriptor() = default;
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    ~Descriptor();
  };

  std::vector<std::string> args_;
  pid_t pid_ = -1;
  Descriptor exit_fd_;                 // pidfd, or the read end of the SIGCHLD pipe
  Descriptor wake_write_;              // the write end of the SIGCHLD pipe, without pidfd
  std::optional<ChildSlot> slot_;      // registered from before the start until reaped; released
                                       // before the pipe that SIGCHLD writes to is closed
  std::unique_ptr<Capture> out_, err_; // the captured streams
  std::optional<int> returncode_;
  bool interrupt_seen_ = false;
  bool killed_ = false;
};

class SystemLauncher final : public Launcher {
public:
  std::unique_ptr<Child> start(std::vector<std::string> args,
                               const ProcessOptions &options) override;
};

} // namespace tarvo::process
