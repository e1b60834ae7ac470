// A step's process group, the system's ways: a descriptor that names a child for its signals,
// the orphans of a group coming to us (Linux's subreaper, FreeBSD's reaper), whether a group is
// gone, and reaping.
#pragma once

#include "tarvo/fd.hpp"

#include <sys/types.h>

namespace tarvo::process {

// A descriptor that names the child itself, so that no signal can reach another process given
// its id later; none where the system has no pidfds (or refuses them: old kernels, seccomp).
Fd open_pidfd(pid_t pid);

// Orphans come to us instead of to init, so that what a step's leader leaves in its group is our
// child and can be waited for and reaped. Asked once. Where the system cannot (macOS), a group is
// watched with kill(-group, 0) until none of it is left.
bool orphans_come_to_us();

// Whether no process is left in the group: none of our children where orphans come to us (every
// member that lives has an ancestor among them), none at all elsewhere.
bool group_empty(pid_t group);

// Waits for the child `pid` to end, and reaps it.
void reap(pid_t pid);

} // namespace tarvo::process
