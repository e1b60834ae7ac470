// Child processes: the one place that starts a program, from an argument vector found on PATH
// and never through a shell, with each output stream inherited, captured or discarded.
#pragma once

#include "tarvo/error.hpp"

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tarvo::venv {

// A complete environment for a child: variable name to value.
using Environment = std::map<std::string, std::string>;

// Where a child's standard output or standard error goes.
enum class Stream { Inherit, Capture, Discard };

struct ProcessOptions {
  Stream stdout_mode = Stream::Inherit;
  Stream stderr_mode = Stream::Inherit;
  // The child's whole environment; without it the child inherits ours.
  std::optional<Environment> env = std::nullopt;
  // The file to start instead of looking args[0] up on PATH; args[0] stays argument zero.
  std::optional<std::filesystem::path> program = std::nullopt;
};

// A finished child. The captured texts are named stdout_text and stderr_text because the C
// library reserves stdout and stderr as macros; each is absent when the stream was not captured.
struct CompletedProcess {
  std::vector<std::string> args;
  int returncode = 0; // the negative signal number when a signal ended the child
  std::optional<std::string> stdout_text = std::nullopt;
  std::optional<std::string> stderr_text = std::nullopt;
};

// A child that had to succeed did not: "Command '['pip', 'install']' returned non-zero exit
// status 1." or, for a signal, "Command '[...]' died with signal 9.".
class CalledProcessError : public Error {
public:
  CalledProcessError(int returncode, std::vector<std::string> args,
                     std::optional<std::string> stdout_text = std::nullopt,
                     std::optional<std::string> stderr_text = std::nullopt);

  int returncode;
  std::vector<std::string> args;
  std::optional<std::string> stdout_text;
  std::optional<std::string> stderr_text;
};

// A running child. Standard input is inherited. Captured streams are read whenever the
// process waits, so a child that writes more than a pipe holds never stalls. The destructor
// waits for a child that was not waited for.
class Process {
public:
  // Starts the child; a program that cannot be started raises the Error its errno names,
  // e.g. "FileNotFoundError: [Errno 2] No such file or directory: 'python'".
  explicit Process(std::vector<std::string> args, const ProcessOptions &options = {});
  ~Process();
  Process(const Process &) = delete;
  Process &operator=(const Process &) = delete;

  // Waits at most `timeout` for the child to end, sleeping in the kernel and reading
  // captured output meanwhile. True once the child has ended.
  bool wait_for(std::chrono::nanoseconds timeout);

  // Waits for the child to end and its captured streams to close. Call once.
  CompletedProcess finish();

  pid_t pid() const { return pid_; }

private:
  struct Capture {
    int fd = -1;
    std::string text;
    bool wanted = false;
  };

  // One sleep in poll until output, the child's end, or the time-out (none: no limit).
  void poll_once(const std::optional<std::chrono::nanoseconds> &timeout);
  void reap(int options);
  static void close_fd(int &fd);

  std::vector<std::string> args_;
  pid_t pid_ = -1;
  int pidfd_ = -1;
  Capture out_, err_;
  std::optional<int> returncode_;
};

// Starts the child and waits for it.
CompletedProcess run_process(std::vector<std::string> args, const ProcessOptions &options = {});

// Raises CalledProcessError, with the captured texts, when the child did not exit with 0.
void check_returncode(const CompletedProcess &completed);

// A copy of this process's environment.
Environment current_environment();

} // namespace tarvo::venv
