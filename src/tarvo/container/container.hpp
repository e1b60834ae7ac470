// A container's name, owned the way Fd owns a descriptor. Every docker command that may make,
// start or fill the container runs through its owner, so that an interrupt or an unwinding
// command stops and removes the container by name: killing a docker client never stops what it
// started on the engine.
#pragma once

#include "tarvo/process/context.hpp"

#include <string>
#include <vector>

namespace tarvo::container {

// A name for one container, unique among the runs of every tarvo: "tarvo-" and 16 random
// hexadecimal digits.
std::string container_name();

// A docker command that carries a script, as an error's one line shows it: without the options
// and the script, which --verbose prints.
std::vector<std::string> shown_in_errors(const std::vector<std::string> &args);

class Container {
public:
  // Its docker commands run through `context` (which must outlive it), each printed first with
  // --verbose. `what` names the step in the line an interrupt prints ("the wheel build").
  Container(const process::Context &context, std::string what);
  // A container that may still exist is removed, quietly.
  ~Container();
  Container(const Container &) = delete;
  Container &operator=(const Container &) = delete;

  const std::string &name() const { return name_; }

  // Runs a docker command that may make or start the container and returns how it ended. An
  // interrupt meanwhile stops and removes the container, again once the command has ended (it
  // may have made the container only then), all within the clean-up's deadline (a second Ctrl-C
  // gives it up), prints one line that says what became of it, and raises Interrupted.
  process::CompletedProcess run(std::vector<std::string> args,
                                const process::ProcessOptions &options = {});

  // The same, with the command's output captured; a failure prints what the command wrote on
  // standard error and raises CalledProcessError.
  process::CompletedProcess run_quietly(std::vector<std::string> args);

  // The container has removed itself (docker run --rm has ended).
  void gone() { may_exist_ = false; }

  // Removes the container with its anonymous volumes.
  void remove();

private:
  // Removes the container, stopping it at once; whether the engine confirmed that it is gone.
  bool tidy_up();
  // The last word after an interrupt: that the container was stopped and removed, or that it
  // may still run and how to remove it.
  void report_interrupt(bool removed);

  const process::Context *context_;
  std::string what_;
  std::string name_ = container_name();
  bool may_exist_ = false;
  bool reported_ = false;
};

} // namespace tarvo::container
