// The container runs of one job, sealed: the project read-only (mounted, or copied in when the
// engine does not see it), the build in a copy of its own, and only the products taken out of
// the ended container, which is then removed.
#pragma once

#include "tarvo/container/docker.hpp"
#include "tarvo/container/project_files.hpp"
#include "tarvo/process/context.hpp"

#include <string>
#include <vector>

namespace tarvo::container {

// How a job's container ended, the docker command that ran its script (as an error's last line
// names it), whether the script got past the marker check, and what it delivered into dist/.
struct Ran {
  int status;
  std::vector<std::string> command;
  bool seen = true;
  std::vector<std::string> delivered = {};
};

// The run with the project mounted read-only. A status the marker check gives (or the client's
// own 125) is looked into: `seen` says whether the script got past the check.
Ran run_mounted(const process::Context &context, const Job &job, RunFiles &files);

// The run on a copy of the project: made, filled, started, its status asked of the engine (a
// client that was interrupted reports 0), its products taken out after success, removed.
Ran run_copied(const process::Context &context, const Job &job, RunFiles &files);

} // namespace tarvo::container
