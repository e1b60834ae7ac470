// Child processes: the one place that starts, waits for and ends them. A child is started from
// an argument vector with the program found on PATH, never through a shell, with each output
// stream inherited, captured or discarded. Everything starts children through the launcher of
// the command's run context (context.hpp), the seam that tests replace with a recording fake.
#pragma once

#include "tarvo/error.hpp"

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarvo::process {

// A complete environment for a child: variable name to value.
using Environment = std::map<std::string, std::string>;

// Where a child's standard output or standard error goes. A child that writes to neither of
// our streams runs in a process group of its own, so that a signal reaches whatever it starts;
// one that writes to them stays in ours, which the terminal sends Ctrl-C to, while the terminal's
// foreground group is ours (otherwise it too gets a group of its own). File writes to the
// descriptor ProcessOptions::file names (a log that one target of several keeps).
enum class Redirect { Inherit, Capture, Discard, File };

struct ProcessOptions {
  Redirect stdout_mode = Redirect::Inherit;
  Redirect stderr_mode = Redirect::Inherit;
  // The child's whole environment; without it the child inherits ours.
  std::optional<Environment> env = std::nullopt;
  // The file to start instead of looking args[0] up on PATH; args[0] stays argument zero.
  std::optional<std::filesystem::path> program = std::nullopt;
  // Where the streams redirected to a File go: an open descriptor, ours, kept open meanwhile.
  int file = -1;
  // A step of tarvo's own that tidies up after an interrupt (stopping a container): it starts
  // even while the command is being interrupted, no signal is passed on to it but a second
  // Ctrl-C's kill, and it is killed once it outlives the grace period from its own start or
  // the clean-up's deadline (timing.hpp), whichever comes first.
  bool tidy_up = false;
};

// A finished child. The captured texts are named stdout_text and stderr_text because the C
// library reserves stdout and stderr as macros; each is absent when the stream was not captured.
// Captured text reads carriage returns, alone or before a line feed, as line feeds.
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

// Raises CalledProcessError, with the captured texts, when the child did not exit with 0; from a
// record that is no longer needed (an rvalue) they are moved, not copied.
void check_returncode(const CompletedProcess &completed);
void check_returncode(CompletedProcess &&completed);

// A copy of this process's environment.
Environment current_environment();

// A started child. Captured streams are read whenever it is waited for, so a child that writes
// more than a pipe holds never stalls. After an interrupt the waits go on until the child has
// ended (killing it when it outlives the grace period), and then raise Interrupted.
// When a child that leads a process group of its own ends, whatever it left in the group is
// asked to end (SIGTERM) and killed after the grace period, and the child counts as ended once
// the group is gone.
class Child {
public:
  virtual ~Child() = default;
  // Waits at most `timeout` for the child to end, sleeping in the kernel. True once it has. The
  // first interrupt ends the wait early.
  virtual bool wait_for(std::chrono::nanoseconds timeout) = 0;
  // Waits for the child to end and its captured streams to close (or, once it and its group
  // have gone, for a short drain: timing.hpp). Call once.
  virtual CompletedProcess finish() = 0;
};

class Launcher {
public:
  virtual ~Launcher() = default;
  // Starts the child; a program that cannot be started raises the Error its errno names,
  // e.g. "FileNotFoundError: [Errno 2] No such file or directory: 'python'".
  virtual std::unique_ptr<Child> start(std::vector<std::string> args,
                                       const ProcessOptions &options) = 0;
};

} // namespace tarvo::process
