// What a command's run needs to start children, made once by its handler and passed down as
// ninja passes its runner and configuration: the launcher every child starts through, the
// periods that pace the waits, and whether the commands run on an engine are shown. A test
// makes its own, with a recording launcher or shorter periods; nothing of it is kept elsewhere.
#pragma once

#include "tarvo/process/process.hpp"
#include "tarvo/process/system_process.hpp"
#include "tarvo/process/timing.hpp"

#include <memory>
#include <string>
#include <vector>

namespace tarvo::process {

class Context {
public:
  // Children are real processes, ended after these periods.
  explicit Context(Timing timing = {}, bool verbose = false);
  // Children are started by `launcher` (a test's).
  explicit Context(Launcher &launcher, Timing timing = {}, bool verbose = false);
  Context(const Context &) = delete;
  Context &operator=(const Context &) = delete;

  Launcher &launcher() const { return *launcher_; }
  const Timing &timing() const { return timing_; }
  // --verbose: every docker command is printed, script and all, before it runs.
  bool verbose() const { return verbose_; }

  std::unique_ptr<Child> start(std::vector<std::string> args,
                               const ProcessOptions &options = {}) const;
  // Starts the child and waits for it.
  CompletedProcess run(std::vector<std::string> args, const ProcessOptions &options = {}) const;

private:
  Timing timing_;
  bool verbose_;
  SystemLauncher system_{timing_};
  Launcher *launcher_;
};

} // namespace tarvo::process
