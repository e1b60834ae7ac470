// One tarvo at a time in a project: the commands that change the project hold an exclusive lock
// on its folder (flock on a descriptor of the folder itself, so no lock file is left behind)
// until they end. The descriptor is inherited by every child, so the project stays locked while
// anything tarvo started still runs, also after tarvo was killed outright. A tarvo started by
// such a child in the same project (a test suite that runs tarvo) works under that lock:
// TARVO_PROJECT_LOCK names the descriptor and the folder, and is trusted only when that very
// descriptor holds the lock that keeps everyone else out. A second, unrelated tarvo says once
// that it waits, then waits; Ctrl-C ends the wait.
#pragma once

#include "tarvo/fd.hpp"

namespace tarvo::files {

class ProjectLock {
public:
  // Locks the current directory. A lock that cannot be taken, for any reason but another
  // tarvo holding it, is an error.
  ProjectLock();
  // Given up when the command ends, after everything it started has ended: a daemon that left
  // a step's group with the descriptor (a test server that daemonizes) must not keep the project
  // locked. A tarvo killed outright gives up nothing, and what it started still holds the lock.
  ~ProjectLock();
  ProjectLock(const ProjectLock &) = delete;
  ProjectLock &operator=(const ProjectLock &) = delete;

private:
  Fd fd_; // ours; none while an ancestor's lock is used
};

} // namespace tarvo::files
