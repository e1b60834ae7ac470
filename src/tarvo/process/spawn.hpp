// Starting a child: forked, then its program started from an argument vector, looked up on PATH
// as the exec functions do (or the file given), each output stream inherited, discarded or sent
// into a pipe whose reading end we keep, optionally in a process group of its own. Between the
// fork and the program's start the child makes system calls only, so that no lock another thread
// held at the fork can stop it.
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
// shell has, inherits no descriptor of ours but its three streams and those we mean it to have
// (the project lock), and, where the system can, is killed when the thread that started it ends
// (tarvo killed outright included). Returns once the program has started; a program that cannot
// be started raises the Error its errno names, for the program's name.
Spawned spawn(const std::vector<std::string> &args, const ProcessOptions &options, bool own_group);

} // namespace tarvo::process
