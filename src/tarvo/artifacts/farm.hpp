// Several targets built or tested at once over the engines one has (a build farm): each engine
// asked once what it runs and how many processors it has, each target sent to an engine of its
// architecture as places free up, one live line per target while they run, a table at the end.
#pragma once

#include "tarvo/container/docker.hpp"
#include "tarvo/container/engines.hpp"
#include "tarvo/process/context.hpp"

#include <functional>
#include <string>
#include <vector>

namespace tarvo::artifacts {

// One target's work: its label in the lines and the table ("x86_64 glibc 3.11"), the target
// (its architecture decides the engine), and the job, run on the engine it is given.
struct FarmTask {
  std::string label;
  container::Target target;
  std::function<void(container::Engine &)> run;
};

// Runs the tasks side by side on `endpoints`, each engine taking as many at once as it has
// processors. Each target's output is kept apart and shown only when it fails; its products reach
// dist/ as it succeeds. Returns 0 when every task succeeded; otherwise the table says which
// failed, their output follows, and the status is 1. An interrupt stops and removes every
// container on every engine, each target saying what became of its own, and raises Interrupted.
int run_farm(const process::Context &context, const std::vector<container::Endpoint> &endpoints,
             std::vector<FarmTask> tasks);

// How long a task took, as the table shows it: "0.4 s", "12.3 s", "2 min 5 s".
std::string duration_text(double seconds);

} // namespace tarvo::artifacts
