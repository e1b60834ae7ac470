// Wakes a wait when a watched process ends, whether or not it is our child: a kqueue with
// EVFILT_PROC / NOTE_EXIT on macOS and the BSDs, where what a step leaves in its process group
// does not come to us when its leader ends. Elsewhere there is none (on Linux every member does
// come to us, as a subreaper's orphan), and the caller looks again now and then instead.
#pragma once

#include "tarvo/fd.hpp"

#include <set>
#include <sys/types.h>

namespace tarvo::process {

class ExitWatch {
public:
  // Whether the system can watch processes this way.
  static bool available();

  // Watches `pid` from now on (once; a second call for it does nothing). False when it has
  // ended already or cannot be watched.
  bool watch(pid_t pid);

  // A descriptor for poll, readable once a watched process has ended; -1 while nothing is
  // watched.
  int fd() const { return queue_.get(); }

  // Takes the ends reported so far, so that the descriptor waits for the next.
  void drain();

private:
  Fd queue_;
  std::set<pid_t> watched_;
};

} // namespace tarvo::process
