// Starting a child with posix_spawn: from an argument vector, the program looked up on PATH (or
// the file given), each output stream inherited, discarded or sent into a pipe whose reading
// end we keep, optionally in a process group of its own.
#pragma once

#include "tarvo/fd.hpp"
#include "tarvo/process/process.hpp"

#include <sys/types.h>

namespace tarvo::process {

struct Spawned {
  pid_t pid = -1;
  // The reading ends of the captured streams, not blocking; none for the others.
  Fd out;
  Fd err;
};

// Starts the child. It begins with the signal dispositions and mask a program started from a
// shell has. A program that cannot be started raises the Error its errno names.
Spawned spawn(const std::vector<std::string> &args, const ProcessOptions &options, bool own_group);

} // namespace tarvo::process
