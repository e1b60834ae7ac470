// Other processes, as the system tells of them: a process's parent and command, whether a
// process is an ancestor of this one, which processes hold a folder open, and who is in a
// process group. Read from /proc on
// Linux and from sysctl on macOS and the BSDs; where the system does not tell, the answers are
// empty.
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tarvo::process {

// The parent of `pid`; none when there is no such process or the system does not tell.
std::optional<pid_t> parent_of(pid_t pid);

// Whether `pid` is this process's parent, its parent's parent, and so on.
bool is_ancestor(pid_t pid);

// The command line of `pid`, its words joined by blanks (or its name where the system gives no
// more); none when there is no such process or the system does not tell.
std::optional<std::string> command_of(pid_t pid);

// The processes that hold a descriptor of the folder (device, inode), this one left out, in
// the order of their ids. Empty where the system does not tell.
std::vector<pid_t> holders_of(dev_t device, ino_t inode);

// The process that took the flock lock on the folder (device, inode), where the system tells
// and that process still holds the folder open.
std::optional<pid_t> lock_taker(dev_t device, ino_t inode);

// Whether `pid` holds a descriptor of the folder (device, inode); none where the system does
// not tell.
std::optional<bool> holds_folder(pid_t pid, dev_t device, ino_t inode);

// The processes in the process group `group`, in no particular order. Empty where the system
// does not tell, and when the group is gone.
std::vector<pid_t> group_members(pid_t group);

} // namespace tarvo::process
