// One tarvo at a time in a project: the commands that change the project hold an exclusive lock
// on the project's root folder (flock on a descriptor of the folder itself, so no lock file is
// left behind), whatever folder of the project they run in, until they end. The descriptor is
// inherited by every child, so the project stays locked while anything tarvo started still
// runs, also after tarvo was killed outright.
//
// A tarvo started by such a child (a test suite that runs tarvo) works under that lock instead
// of waiting for its own ancestor: TARVO_PROJECT_LOCK carries the holder's pid, the folder's
// device and inode and the descriptor's number, and is trusted when the descriptor it names is
// ours by inheritance and holds the lock, or, where descriptors were closed on the way (Python's
// subprocess does), when the holder is an ancestor of ours that holds the folder open. A second,
// unrelated tarvo says once that it waits, and what holds the lock, then waits; Ctrl-C ends the
// wait.
#pragma once

#include "tarvo/fd.hpp"

#include <filesystem>

namespace tarvo::files {

class ProjectLock {
public:
  // Locks `root`, the project's root folder. A lock that cannot be taken, for any reason but
  // another tarvo holding it, is an error.
  explicit ProjectLock(const std::filesystem::path &root);
  // Given up when the command ends, after everything it started has ended: a daemon that left
  // a step's group with the descriptor (a test server that daemonizes) must not keep the project
  // locked. A tarvo killed outright gives up nothing, and what it started still holds the lock.
  ~ProjectLock();
  ProjectLock(const ProjectLock &) = delete;
  ProjectLock &operator=(const ProjectLock &) = delete;

  // Whether the lock is this tarvo's own, not an ancestor's that it works under.
  bool own() const { return static_cast<bool>(fd_); }

private:
  Fd fd_; // ours; none while an ancestor's lock is used
};

} // namespace tarvo::files
