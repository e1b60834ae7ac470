#include "tarvo/process/groups.hpp"

#include "tarvo/error.hpp"
#include "tarvo/platform.hpp"

#include <cerrno>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#if TARVO_LINUX_CALLS
#include <sys/prctl.h>
#include <sys/syscall.h>
#elif TARVO_FREEBSD
#include <sys/procctl.h>
#endif

namespace tarvo::process {

// pidfd_open is called directly: glibc 2.36 declares it without C linkage.
Fd open_pidfd(pid_t pid) {
#if TARVO_LINUX_CALLS
  return Fd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
#else
  (void)pid;
  return Fd();
#endif
}

bool orphans_come_to_us() {
#if TARVO_LINUX_CALLS
  static const bool adopted = ::prctl(PR_SET_CHILD_SUBREAPER, 1) == 0;
  return adopted;
#elif TARVO_FREEBSD
  static const bool adopted = ::procctl(P_PID, ::getpid(), PROC_REAP_ACQUIRE, nullptr) == 0;
  return adopted;
#else
  return false;
#endif
}

bool group_empty(pid_t group) {
  if (!orphans_come_to_us()) {
    return ::kill(-group, 0) != 0 && errno == ESRCH;
  }
  siginfo_t info{};
  while (::waitid(P_PGID, static_cast<id_t>(group), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
    if (errno == ECHILD) {
      return true;
    }
    if (errno != EINTR) {
      throw os_error(errno);
    }
  }
  return false;
}

void reap(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      throw os_error(errno);
    }
  }
}

} // namespace tarvo::process
