#include "tarvo/process/processes.hpp"

#include "tarvo/fd.hpp"
#include "tarvo/platform.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

#if TARVO_PROC_FS
#include <sys/sysmacros.h>
#elif TARVO_MACOS
#include <sys/sysctl.h>
#elif TARVO_FREEBSD
#include <sys/sysctl.h>
#include <sys/user.h>
#endif

namespace tarvo::process {

namespace {

// How far up the ancestry is followed: a loop in what the system reports ends there.
constexpr int MAX_GENERATIONS = 4096;

[[maybe_unused]] std::optional<pid_t> number(std::string_view text) {
  pid_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value <= 0) {
    return std::nullopt;
  }
  return value;
}

#if TARVO_PROC_FS

// A file of /proc, whose size stat does not tell; none when it cannot be read.
std::optional<std::string> read_proc(const std::string &path) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) {
    return std::nullopt;
  }
  std::string text;
  char buffer[4096];
  for (;;) {
    auto n = ::read(fd.get(), buffer, sizeof buffer);
    if (n > 0) {
      text.append(buffer, static_cast<std::size_t>(n));
      // A command line is shown shortened anyway.
      if (text.size() > 65536) {
        return text;
      }
    } else if (n == 0) {
      return text;
    } else if (errno != EINTR) {
      return std::nullopt;
    }
  }
}

// The names in a folder of /proc; none when it cannot be read.
std::vector<std::string> proc_names(const std::string &path) {
  std::vector<std::string> names;
  DIR *dir = ::opendir(path.c_str());
  if (dir == nullptr) {
    return names;
  }
  while (const dirent *entry = ::readdir(dir)) {
    if (entry->d_name[0] != '.') {
      names.emplace_back(entry->d_name);
    }
  }
  ::closedir(dir);
  return names;
}

bool fd_is_folder(pid_t pid, const std::string &fd, dev_t device, ino_t inode) {
  struct stat st {};
  auto path = "/proc/" + std::to_string(pid) + "/fd/" + fd;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_dev == device &&
         st.st_ino == inode;
}

bool linux_holds_folder(pid_t pid, dev_t device, ino_t inode) {
  auto fds = proc_names("/proc/" + std::to_string(pid) + "/fd");
  return std::any_of(fds.begin(), fds.end(),
                     [&](const std::string &fd) { return fd_is_folder(pid, fd, device, inode); });
}

// The process that took an flock lock on the folder, as /proc/locks tells:
// "1: FLOCK  ADVISORY  WRITE 1234 00:2d:5678 0 EOF".
std::optional<pid_t> flock_taker(dev_t device, ino_t inode) {
  auto locks = read_proc("/proc/locks");
  if (!locks) {
    return std::nullopt;
  }
  char wanted[64];
  std::snprintf(wanted, sizeof wanted, " %02x:%02x:%lu ", major(device), minor(device),
                static_cast<unsigned long>(inode));
  std::string_view text(*locks);
  while (!text.empty()) {
    auto line = text.substr(0, text.find('\n'));
    text.remove_prefix(std::min(text.size(), line.size() + 1));
    if (line.find("FLOCK") == std::string_view::npos || line.find("->") != std::string_view::npos) {
      continue;
    }
    const auto at = line.find(wanted);
    if (at == std::string_view::npos) {
      continue;
    }
    auto before = line.substr(0, at);
    auto pid = number(before.substr(before.rfind(' ') + 1));
    if (pid) {
      return pid;
    }
  }
  return std::nullopt;
}

#elif TARVO_MACOS || TARVO_FREEBSD

std::optional<kinfo_proc> info_of(pid_t pid) {
  int mib[4] = {CTL_KERN, KERN_PROC, KERN_PROC_PID, pid};
  kinfo_proc info{};
  size_t size = sizeof info;
  if (::sysctl(mib, 4, &info, &size, nullptr, 0) != 0 || size == 0) {
    return std::nullopt;
  }
  return info;
}

#endif

} // namespace

std::optional<pid_t> parent_of(pid_t pid) {
#if TARVO_PROC_FS
  // "PID (COMMAND) STATE PPID ...", where COMMAND may hold blanks and parentheses.
  auto stat = read_proc("/proc/" + std::to_string(pid) + "/stat");
  if (!stat) {
    return std::nullopt;
  }
  const auto close = stat->rfind(')');
  if (close == std::string::npos || close + 4 >= stat->size()) {
    return std::nullopt;
  }
  std::string_view rest(*stat);
  rest.remove_prefix(close + 4);
  auto parent = rest.substr(0, rest.find(' '));
  if (parent == "0") {
    return 0;
  }
  return number(parent);
#elif TARVO_MACOS
  auto info = info_of(pid);
  return info ? std::optional<pid_t>(info->kp_eproc.e_ppid) : std::nullopt;
#elif TARVO_FREEBSD
  auto info = info_of(pid);
  return info ? std::optional<pid_t>(info->ki_ppid) : std::nullopt;
#else
  (void)pid;
  return std::nullopt;
#endif
}

bool is_ancestor(pid_t pid) {
  if (pid <= 0) {
    return false;
  }
  pid_t current = ::getppid();
  for (int generation = 0; generation < MAX_GENERATIONS && current > 0; ++generation) {
    if (current == pid) {
      return true;
    }
    auto parent = parent_of(current);
    if (!parent || *parent == current) {
      return false;
    }
    current = *parent;
  }
  return false;
}

std::optional<std::string> command_of(pid_t pid) {
#if TARVO_PROC_FS
  auto line = read_proc("/proc/" + std::to_string(pid) + "/cmdline");
  if (line && !line->empty()) {
    while (!line->empty() && line->back() == '\0') {
      line->pop_back();
    }
    std::replace(line->begin(), line->end(), '\0', ' ');
    return line;
  }
  auto name = read_proc("/proc/" + std::to_string(pid) + "/comm");
  if (!name || name->empty()) {
    return std::nullopt;
  }
  if (name->back() == '\n') {
    name->pop_back();
  }
  return name;
#elif TARVO_MACOS
  auto info = info_of(pid);
  return info ? std::optional<std::string>(info->kp_proc.p_comm) : std::nullopt;
#elif TARVO_FREEBSD
  auto info = info_of(pid);
  return info ? std::optional<std::string>(info->ki_comm) : std::nullopt;
#else
  (void)pid;
  return std::nullopt;
#endif
}

std::vector<pid_t> holders_of([[maybe_unused]] dev_t device, [[maybe_unused]] ino_t inode) {
  std::vector<pid_t> holders;
#if TARVO_PROC_FS
  const pid_t self = ::getpid();
  for (const auto &name : proc_names("/proc")) {
    auto pid = number(name);
    if (pid && *pid != self && linux_holds_folder(*pid, device, inode)) {
      holders.push_back(*pid);
    }
  }
  std::sort(holders.begin(), holders.end());
#endif
  return holders;
}

std::optional<pid_t> lock_taker([[maybe_unused]] dev_t device, [[maybe_unused]] ino_t inode) {
#if TARVO_PROC_FS
  // A taker that is gone may have left its id to an unrelated process, which does not hold the
  // folder.
  auto taker = flock_taker(device, inode);
  if (taker && linux_holds_folder(*taker, device, inode)) {
    return taker;
  }
#endif
  return std::nullopt;
}

std::optional<bool> holds_folder([[maybe_unused]] pid_t pid, [[maybe_unused]] dev_t device,
                                 [[maybe_unused]] ino_t inode) {
#if TARVO_PROC_FS
  return linux_holds_folder(pid, device, inode);
#else
  return std::nullopt;
#endif
}

std::vector<pid_t> group_members(pid_t group) {
  std::vector<pid_t> members;
#if TARVO_PROC_FS
  // "PID (COMMAND) STATE PPID PGRP ...", where COMMAND may hold blanks and parentheses.
  for (const auto &name : proc_names("/proc")) {
    auto pid = number(name);
    if (!pid) {
      continue;
    }
    auto stat = read_proc("/proc/" + name + "/stat");
    const auto close = stat ? stat->rfind(')') : std::string::npos;
    if (close == std::string::npos) {
      continue;
    }
    std::string_view rest(*stat);
    rest.remove_prefix(close + 1);
    // " STATE PPID PGRP": the third word after the command.
    for (int word = 0; word < 3 && !rest.empty(); ++word) {
      rest.remove_prefix(std::min(rest.size(), rest.find_first_not_of(' ')));
      if (word < 2) {
        rest.remove_prefix(std::min(rest.size(), rest.find(' ')));
      }
    }
    if (number(rest.substr(0, rest.find(' '))) == group) {
      members.push_back(*pid);
    }
  }
#elif TARVO_MACOS || TARVO_FREEBSD
  int mib[4] = {CTL_KERN, KERN_PROC, KERN_PROC_PGRP, group};
  // The group may grow between asking for the size and reading it: a little room is left, and
  // the read is tried again when that was not enough.
  for (int attempt = 0; attempt < 4; ++attempt) {
    size_t size = 0;
    if (::sysctl(mib, 4, nullptr, &size, nullptr, 0) != 0) {
      return members;
    }
    std::vector<kinfo_proc> found(size / sizeof(kinfo_proc) + 8);
    size = found.size() * sizeof(kinfo_proc);
    if (::sysctl(mib, 4, found.data(), &size, nullptr, 0) != 0) {
      if (errno == ENOMEM) {
        continue;
      }
      return members;
    }
    found.resize(size / sizeof(kinfo_proc));
    for (const auto &info : found) {
#if TARVO_MACOS
      members.push_back(info.kp_proc.p_pid);
#else
      members.push_back(info.ki_pid);
#endif
    }
    return members;
  }
#else
  (void)group;
#endif
  return members;
}

} // namespace tarvo::process
