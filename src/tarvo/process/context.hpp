// What a command's run needs to start children, made once by its handler and passed down as
// ninja passes its runner and configuration: the launcher every child starts through, the
// periods that pace the waits, and whether the commands run on an engine are shown. A farm's
// target runs with a context over the command's that also carries its engine's environment and
// where its output goes. A test makes its own, with a recording launcher or shorter periods;
// nothing of it is kept elsewhere.
#pragma once

#include "tarvo/process/process.hpp"
#include "tarvo/process/system_process.hpp"
#include "tarvo/process/timing.hpp"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::process {

// What a line that tarvo prints is: progress (standard output), a detail such as a failed step's
// own words (standard error), the last word of an interrupted step (standard error), or a
// product that reached dist/ (which only a farm's table shows).
enum class Said { Progress, Detail, LastWord, Delivered };

// Where one of several runs that go on at once (a target of a farm) sends what would otherwise
// reach the terminal: its lines, and the streams of the children that would inherit ours.
class Output {
public:
  virtual ~Output() = default;
  // One or more whole lines.
  virtual void say(Said kind, std::string_view text) = 0;
  // The descriptor, open for appending, that the children write to.
  virtual int file() const = 0;
};

// Variables to set (a value) or remove (none) in every child's environment.
using Overlay = std::map<std::string, std::optional<std::string>>;

class Context {
public:
  // Children are real processes, ended after these periods.
  explicit Context(Timing timing = {}, bool verbose = false);
  // Children are started by `launcher` (a test's).
  explicit Context(Launcher &launcher, Timing timing = {}, bool verbose = false);
  // The launcher, periods and verbosity of `base` (which must outlive it), with `overlay` applied
  // to every child's environment (an engine's DOCKER_HOST) and, when given, what would reach the
  // terminal sent to `output` instead.
  Context(const Context &base, Overlay overlay, Output *output = nullptr);
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

  // The value of an environment variable as the children get it; none when it is unset.
  std::optional<std::string> variable(const std::string &name) const;

  // Prints what was said: on the terminal, or to the output this context was given.
  void say(Said kind, std::string_view text) const;

private:
  Timing timing_;
  bool verbose_;
  SystemLauncher system_{timing_};
  Launcher *launcher_;
  Overlay overlay_;
  Output *output_ = nullptr;
};

} // namespace tarvo::process
