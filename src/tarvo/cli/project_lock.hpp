// One tarvo at a time in a project: the commands that change the project hold an exclusive lock
// on its folder (flock on a descriptor of the folder itself, so no lock file is left behind)
// until they end. A second one says once that it waits, then waits; Ctrl-C ends the wait.
#pragma once

#include "tarvo/fd.hpp"

namespace tarvo::cli {

class ProjectLock {
public:
  // Locks the current directory; the lock goes with the descriptor.
  ProjectLock();

private:
  Fd fd_;
};

} // namespace tarvo::cli
